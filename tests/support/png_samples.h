// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QSize>

#include <cstdint>

// PNGs written sample by sample, of every colour type and bit depth, for the PNG tests.
namespace kavelora::tests {

enum PngColourType { Gray = 0, Rgb = 2, Palette = 3, GrayAlpha = 4, Rgba = 6 };

// A non-interlaced PNG of random samples (each below levels, at most 2^bitDepth), every row
// filtered with the next of the five filters; extraChunks go between the header and the data.
QByteArray randomPng(QSize size, int colourType, int bitDepth, const QByteArray& extraChunks,
                     int levels, std::uint64_t seed = 1);

// A PLTE chunk of entries random colours.
QByteArray paletteChunk(int entries);

} // namespace kavelora::tests
