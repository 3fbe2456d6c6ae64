// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "platform/twips_scale.h"

#include <QScreen>
#include <QWidget>

#include <cmath>

namespace kavelora::platform {

TwipsScale TwipsScale::forWidget(const QWidget& widget)
{
    const QScreen* screen = widget.screen();
    return TwipsScale(screen ? screen->logicalDotsPerInch() : kStandardDpi);
}

int TwipsScale::toPixels(Twips length) const
{
    return static_cast<int>(std::lround(static_cast<double>(length.value) / m_twipsPerPixel));
}

Twips TwipsScale::fromPixels(int pixels) const
{
    return Twips{static_cast<float>(pixels * m_twipsPerPixel)};
}

QRect TwipsScale::toPixels(const TwipsRect& rect) const
{
    return QRect(toPixels(rect.left), toPixels(rect.top), toPixels(rect.width),
                 toPixels(rect.height));
}

QSize TwipsScale::toPixels(Twips width, Twips height) const
{
    return QSize(toPixels(width), toPixels(height));
}

} // namespace kavelora::platform
