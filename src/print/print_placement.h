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
// reading distance, so a copy on hand this fine is not decoded again for more.
inline constexpr double kSharpPrintPixelsPerInch = 150.0;

struct PrintPlacement
{
    // Device units from the printable area's top-left corner.
    QRectF targetRect;
    // At most kMaxPrintPixelsPerInch of the printed size, never more than the picture has.
    QSize imagePixels;
    // As many at kSharpPrintPixelsPerInch, never more than imagePixels.
    QSize sharpPixels;
};

// Places a picture of ownSizeInches (ownPixels pixels) x1, y1 from the top-left corner of
// printableArea (device units, deviceDpi per inch): at its own size, or scaled down to fit the
// rest of the area with its proportions kept. Empty for an empty picture or an offset past it.
PrintPlacement placeOnPage(QSizeF ownSizeInches, QSize ownPixels, QSizeF printableArea,
                           double deviceDpi, platform::Twips x1, platform::Twips y1);

} // namespace kavelora::print
