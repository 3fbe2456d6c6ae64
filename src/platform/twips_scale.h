// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "platform/twips.h"

#include <QRect>
#include <QSize>

class QWidget;

namespace kavelora::platform {

// The one place where twips become screen pixels and back: 1440 twips per logical inch.
class TwipsScale
{
public:
    static constexpr double kTwipsPerInch = 1440.0;
    static constexpr double kStandardDpi = 96.0;

    constexpr explicit TwipsScale(double logicalDpi = kStandardDpi)
        : m_twipsPerPixel(kTwipsPerInch / (logicalDpi > 0.0 ? logicalDpi : kStandardDpi))
    {}

    // The scale of the screen the widget is on (96 dpi when it has none yet).
    static TwipsScale forWidget(const QWidget& widget);

    // 96 when it was given none that is usable.
    constexpr double logicalDpi() const { return kTwipsPerInch / m_twipsPerPixel; }

    // Nearest whole pixel; a length and a position convert alike.
    int toPixels(Twips length) const;
    Twips fromPixels(int pixels) const;

    QRect toPixels(const TwipsRect& rect) const;
    QSize toPixels(Twips width, Twips height) const;

private:
    double m_twipsPerPixel;
};

} // namespace kavelora::platform
