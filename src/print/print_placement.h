// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "platform/twips.h"

#include <QRectF>
#include <QSize>
#include <QSizeF>

namespace kavelora::print {

// Finer detail than this is lost on paper, so a picture is never sent at more pixels per inch
// of its printed size.
inline constexpr double kMaxPrintPixelsPerInch = 300.0;
// A photo printed from this many pixels per inch of its printed size already looks sharp at
// reading distance. A copy on hand that gives at least this much is printed as it is, rather
// than decoding the whole file a second time for the last bit of detail.
inline constexpr double kSharpPrintPixelsPerInch = 150.0;

// Where a picture goes on a page and how many of its pixels to draw it from.
struct PrintPlacement
{
    // In device units, relative to the top-left corner of the printable area.
    QRectF targetRect;
    // At most kMaxPrintPixelsPerInch of the printed size, never more than the picture has.
    QSize imagePixels;
    // As many at kSharpPrintPixelsPerInch: fewer than imagePixels, or as many when the picture
    // has no more.
    QSize sharpPixels;
};

// Places a picture of ownSizeInches (ownPixels pixels) x1, y1 from the printable area's
// top-left corner. It keeps its own size when it fits the rest of the area, else it is scaled
// down, proportions kept, to fit. printableArea is in device units of deviceDpi per inch. An
// empty picture or an offset past the area gives an empty placement.
PrintPlacement placeOnPage(QSizeF ownSizeInches, QSize ownPixels, QSizeF printableArea,
                           double deviceDpi, platform::Twips x1, platform::Twips y1);

} // namespace kavelora::print
