// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>

#include <cstdint>

namespace kavelora::platform {

// A colour as the window description stores it: 0x00BBGGRR, red in the low byte.
struct Colour
{
    std::uint32_t bgr = 0;

    constexpr int red() const { return static_cast<int>(bgr & 0xFFu); }
    constexpr int green() const { return static_cast<int>((bgr >> 8) & 0xFFu); }
    constexpr int blue() const { return static_cast<int>((bgr >> 16) & 0xFFu); }
    QColor toQColor() const { return QColor(red(), green(), blue()); }
};

} // namespace kavelora::platform
