// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <array>

namespace kavelora::decoder {

struct Chromaticity
{
    double x;
    double y;
};

// The chromaticities of a colour space's red, green and blue primaries and of its white.
struct ColourPrimaries
{
    Chromaticity red;
    Chromaticity green;
    Chromaticity blue;
    Chromaticity white;
};

using ColourMatrix = std::array<std::array<float, 3>, 3>;

// The primaries of a coding-independent code point: 1 BT.709, 9 BT.2020, 11 DCI-P3, 12 Display
// P3; any other code reads as BT.709, the primaries of sRGB.
const ColourPrimaries& colourPrimariesOf(int code);

// Whether primaries are BT.709's, so that linear light needs no matrix to be sRGB's.
bool isBt709(const ColourPrimaries& primaries);

// The matrix taking linear RGB light of primaries to linear BT.709 light, white to white (a
// white other than D65 is scaled to it in XYZ).
ColourMatrix matrixToBt709(const ColourPrimaries& primaries);

// How much each of red, green and blue of primaries adds to luminance; they sum to 1.
std::array<float, 3> luminanceWeights(const ColourPrimaries& primaries);

} // namespace kavelora::decoder
