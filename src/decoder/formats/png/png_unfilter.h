// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QRgb>
#include <QtGlobal>

#include <array>
#include <cstddef>

namespace kavelora::decoder {

// How one PNG row's bytes turn into pixels: the header's layout and the colour chunks.
struct PngPixelLayout
{
    int colourType = 0; // 0 gray, 2 RGB, 3 palette, 4 gray + alpha, 6 RGBA
    int bitDepth = 8;   // 1, 2, 4 or 8
    int width = 0;
    // Palette entries as ARGB (tRNS alphas applied), all 256 filled.
    std::array<QRgb, 256> palette{};
    int paletteSize = 0;
    // The gray or RGB sample (at bitDepth) that tRNS makes transparent, or -1.
    int transparentGray = -1;
    std::array<int, 3> transparentRgb{-1, -1, -1};

    // Bytes of one row's samples, without the filter byte.
    std::size_t rowBytes() const;
    // Bytes the filters look back: at least one.
    int filterStride() const;
    // True when the pixels carry alpha, from the samples or from tRNS.
    bool hasAlpha() const;
    // True when each pixel is a gray byte that needs no conversion (8-bit gray, no tRNS).
    bool isPlainGray() const;
};

// Undoes the filter of row (filter byte first, then rowBytes samples) against previous, the
// row above already unfiltered (zeros for the first row). False on an unknown filter type.
bool unfilterPngRow(uchar* row, const uchar* previous, std::size_t rowBytes, int stride);

// The unfiltered samples of one row as width ARGB pixels (not premultiplied).
void expandPngRow(const PngPixelLayout& layout, const uchar* samples, QRgb* pixels);

// The unfiltered samples of one 1, 2, 4 or 8-bit gray row as width gray bytes, scaled to 0-255.
void expandPngGrayRow(const PngPixelLayout& layout, const uchar* samples, uchar* gray);

} // namespace kavelora::decoder
