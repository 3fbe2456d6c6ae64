// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/common/colour_primaries.h"

#include <cstddef>

namespace kavelora::decoder {

namespace {

using Matrix = std::array<std::array<double, 3>, 3>;
using Vector = std::array<double, 3>;

constexpr Chromaticity kD65{0.3127, 0.3290};

constexpr ColourPrimaries kBt709{{0.640, 0.330}, {0.300, 0.600}, {0.150, 0.060}, kD65};
constexpr ColourPrimaries kBt2020{{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}, kD65};
constexpr ColourPrimaries kDciP3{{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, {0.314, 0.351}};
constexpr ColourPrimaries kDisplayP3{{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, kD65};

Vector xyzOf(Chromaticity colour)
{
    return {colour.x / colour.y, 1.0, (1.0 - colour.x - colour.y) / colour.y};
}

Matrix inverted(const Matrix& m)
{
    const double determinant = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                               m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    Matrix inverse{};
    for (std::size_t row = 0; row < 3; ++row) {
        for (std::size_t column = 0; column < 3; ++column) {
            // The cofactor of the transposed element, by cyclic indices.
            const std::size_t r1 = (column + 1) % 3;
            const std::size_t r2 = (column + 2) % 3;
            const std::size_t c1 = (row + 1) % 3;
            const std::size_t c2 = (row + 2) % 3;
            inverse[row][column] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / determinant;
        }
    }
    return inverse;
}

Vector times(const Matrix& m, const Vector& v)
{
    Vector result{};
    for (std::size_t row = 0; row < 3; ++row)
        result[row] = m[row][0] * v[0] + m[row][1] * v[1] + m[row][2] * v[2];
    return result;
}

Matrix times(const Matrix& a, const Matrix& b)
{
    Matrix result{};
    for (std::size_t row = 0; row < 3; ++row)
        for (std::size_t column = 0; column < 3; ++column)
            for (std::size_t k = 0; k < 3; ++k)
                result[row][column] += a[row][k] * b[k][column];
    return result;
}

// Linear RGB of primaries to XYZ, with white at Y = 1.
Matrix rgbToXyz(const ColourPrimaries& primaries)
{
    const Vector red = xyzOf(primaries.red);
    const Vector green = xyzOf(primaries.green);
    const Vector blue = xyzOf(primaries.blue);
    const Matrix unscaled{
        {{red[0], green[0], blue[0]}, {red[1], green[1], blue[1]}, {red[2], green[2], blue[2]}}};
    const Vector scale = times(inverted(unscaled), xyzOf(primaries.white));
    Matrix result{};
    for (std::size_t row = 0; row < 3; ++row)
        for (std::size_t column = 0; column < 3; ++column)
            result[row][column] = unscaled[row][column] * scale[column];
    return result;
}

} // namespace

const ColourPrimaries& colourPrimariesOf(int code)
{
    switch (code) {
    case 9:
        return kBt2020;
    case 11:
        return kDciP3;
    case 12:
        return kDisplayP3;
    default:
        return kBt709;
    }
}

bool isBt709(const ColourPrimaries& primaries)
{
    return &primaries == &kBt709;
}

ColourMatrix matrixToBt709(const ColourPrimaries& primaries)
{
    const Vector sourceWhite = xyzOf(primaries.white);
    const Vector targetWhite = xyzOf(kD65);
    Matrix whiteScale{};
    for (std::size_t axis = 0; axis < 3; ++axis)
        whiteScale[axis][axis] = targetWhite[axis] / sourceWhite[axis];
    const Matrix combined =
        times(inverted(rgbToXyz(kBt709)), times(whiteScale, rgbToXyz(primaries)));
    ColourMatrix result{};
    for (std::size_t row = 0; row < 3; ++row)
        for (std::size_t column = 0; column < 3; ++column)
            result[row][column] = static_cast<float>(combined[row][column]);
    return result;
}

std::array<float, 3> luminanceWeights(const ColourPrimaries& primaries)
{
    const Matrix toXyz = rgbToXyz(primaries);
    return {static_cast<float>(toXyz[1][0]), static_cast<float>(toXyz[1][1]),
            static_cast<float>(toXyz[1][2])};
}

} // namespace kavelora::decoder
