// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

namespace kavelora::platform {

// A length in twips (1/1440 inch), single precision like every position the window keeps.
struct Twips
{
    float value = 0.0f;

    constexpr bool operator==(const Twips&) const = default;
    constexpr bool operator<(const Twips& other) const { return value < other.value; }
};

constexpr Twips operator-(Twips a, Twips b) { return Twips{a.value - b.value}; }
constexpr Twips operator+(Twips a, Twips b) { return Twips{a.value + b.value}; }

// A control's box on the window, in twips from the top-left corner of the client area.
struct TwipsRect
{
    Twips left;
    Twips top;
    Twips width;
    Twips height;

    constexpr Twips right() const { return left + width; }
    constexpr Twips bottom() const { return top + height; }
    constexpr bool operator==(const TwipsRect&) const = default;
};

} // namespace kavelora::platform
