// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

struct avifImage;

namespace kavelora::decoder {

// Where each pixel of an AVIF's picture as shown comes from in the coded picture: clap crops
// first (a clean aperture libavif cannot convert is ignored), then irot turns anticlockwise in
// quarter turns, then imir mirrors.
struct AvifShownGeometry
{
    // The part of the coded picture shown.
    QRect crop;
    QSize shownSize;
    // The coded pixel of shown pixel (x, y) is origin + x * alongRow + y * alongColumn.
    QPoint origin;
    QPoint alongRow;
    QPoint alongColumn;

    static AvifShownGeometry of(const avifImage& image);

    QPoint codedPixelOf(int x, int y) const { return origin + x * alongRow + y * alongColumn; }
    // The coded pixels shown rows [firstRow, endRow) come from.
    QRect codedRectOfRows(int firstRow, int endRow) const;
};

} // namespace kavelora::decoder
