// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/avif/avif_shown_geometry.h"

#include <avif/avif.h>

#include <algorithm>

namespace kavelora::decoder {

AvifShownGeometry AvifShownGeometry::of(const avifImage& image)
{
    const int width = static_cast<int>(image.width);
    const int height = static_cast<int>(image.height);
    AvifShownGeometry geometry;
    geometry.crop = QRect(0, 0, width, height);
    avifCropRect crop;
    avifDiagnostics diagnostics;
    if ((image.transformFlags & AVIF_TRANSFORM_CLAP) &&
        avifCropRectConvertCleanApertureBox(&crop, &image.clap, image.width, image.height,
                                            image.yuvFormat, &diagnostics))
        geometry.crop = QRect(static_cast<int>(crop.x), static_cast<int>(crop.y),
                              static_cast<int>(crop.width), static_cast<int>(crop.height));
    const int turns = (image.transformFlags & AVIF_TRANSFORM_IROT) ? image.irot.angle % 4 : 0;
    const int mirror = (image.transformFlags & AVIF_TRANSFORM_IMIR) ? image.imir.mode : -1;
    const QSize cropped = geometry.crop.size();
    geometry.shownSize = turns % 2 ? cropped.transposed() : cropped;

    // Undoes the mirror, then the turns, for one shown pixel; in the cropped picture.
    const auto croppedPixelOf = [&](int x, int y) {
        if (mirror == 0)
            y = geometry.shownSize.height() - 1 - y;
        else if (mirror == 1)
            x = geometry.shownSize.width() - 1 - x;
        switch (turns) {
        case 1:
            return QPoint(cropped.width() - 1 - y, x);
        case 2:
            return QPoint(cropped.width() - 1 - x, cropped.height() - 1 - y);
        case 3:
            return QPoint(y, cropped.height() - 1 - x);
        default:
            return QPoint(x, y);
        }
    };
    geometry.origin = croppedPixelOf(0, 0) + geometry.crop.topLeft();
    geometry.alongRow = croppedPixelOf(1, 0) - croppedPixelOf(0, 0);
    geometry.alongColumn = croppedPixelOf(0, 1) - croppedPixelOf(0, 0);
    return geometry;
}

QRect AvifShownGeometry::codedRectOfRows(int firstRow, int endRow) const
{
    const QPoint first = codedPixelOf(0, firstRow);
    const QPoint last = codedPixelOf(shownSize.width() - 1, endRow - 1);
    // QRect::normalized() would step the swapped corners by one pixel.
    return QRect(QPoint(std::min(first.x(), last.x()), std::min(first.y(), last.y())),
                 QPoint(std::max(first.x(), last.x()), std::max(first.y(), last.y())));
}

} // namespace kavelora::decoder
