// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "print/print_placement.h"

#include "platform/twips_scale.h"

#include <algorithm>
#include <cmath>

namespace kavelora::print {

using platform::Twips;
using platform::TwipsScale;

namespace {
// Rounding in the page layout must not shrink a picture that fits to a hair's breadth.
constexpr double kFitTolerance = 1e-6;

double toDevice(Twips length, double deviceDpi)
{
    return static_cast<double>(length.value) / TwipsScale::kTwipsPerInch * deviceDpi;
}

// The picture's pixels for printedInches at pixelsPerInch, never more than it has.
QSize pixelsAt(double pixelsPerInch, QSizeF printedInches, QSize ownPixels)
{
    const double pixelScale =
        std::min({1.0, printedInches.width() * pixelsPerInch / ownPixels.width(),
                  printedInches.height() * pixelsPerInch / ownPixels.height()});
    return {
        std::max(1, static_cast<int>(std::ceil(ownPixels.width() * pixelScale - kFitTolerance))),
        std::max(1, static_cast<int>(std::ceil(ownPixels.height() * pixelScale - kFitTolerance)))};
}
} // namespace

PrintPlacement placeOnPage(QSizeF ownSizeInches, QSize ownPixels, QSizeF printableArea,
                           double deviceDpi, Twips x1, Twips y1)
{
    if (ownSizeInches.isEmpty() || ownPixels.isEmpty() || deviceDpi <= 0.0)
        return {};
    const QPointF origin(toDevice(x1, deviceDpi), toDevice(y1, deviceDpi));
    const QSizeF room(printableArea.width() - origin.x(), printableArea.height() - origin.y());
    if (room.isEmpty())
        return {};

    QSizeF size = ownSizeInches * deviceDpi;
    if (size.width() > room.width() * (1.0 + kFitTolerance) ||
        size.height() > room.height() * (1.0 + kFitTolerance))
        size = size.scaled(room, Qt::KeepAspectRatio);

    const QSizeF printedInches = size / deviceDpi;
    return {QRectF(origin, size), pixelsAt(kMaxPrintPixelsPerInch, printedInches, ownPixels),
            pixelsAt(kSharpPrintPixelsPerInch, printedInches, ownPixels)};
}

} // namespace kavelora::print
