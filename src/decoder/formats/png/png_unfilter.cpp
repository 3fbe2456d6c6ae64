// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/png/png_unfilter.h"

#include <algorithm>
#include <cstdlib>

namespace kavelora::decoder {

namespace {

constexpr int kGray = 0;
constexpr int kRgb = 2;
constexpr int kPalette = 3;
constexpr int kGrayAlpha = 4;

int channelsOf(int colourType)
{
    switch (colourType) {
    case kRgb:
        return 3;
    case kGrayAlpha:
        return 2;
    case kPalette:
    case kGray:
        return 1;
    default:
        return 4;
    }
}

uchar paethPredictor(int left, int above, int aboveLeft)
{
    const int toLeft = std::abs(above - aboveLeft);
    const int toAbove = std::abs(left - aboveLeft);
    const int toAboveLeft = std::abs(left + above - 2 * aboveLeft);
    if (toLeft <= toAbove && toLeft <= toAboveLeft)
        return static_cast<uchar>(left);
    return static_cast<uchar>(toAbove <= toAboveLeft ? above : aboveLeft);
}

// Sample x of a row packed at bitDepth bits, most significant bits first.
int packedSample(const uchar* samples, int x, int bitDepth)
{
    if (bitDepth == 8)
        return samples[x];
    const int perByte = 8 / bitDepth;
    const int shift = (perByte - 1 - x % perByte) * bitDepth;
    return (samples[x / perByte] >> shift) & ((1 << bitDepth) - 1);
}

} // namespace

std::size_t PngPixelLayout::rowBytes() const
{
    const auto bits = static_cast<std::size_t>(width) *
                      static_cast<std::size_t>(channelsOf(colourType) * bitDepth);
    return (bits + 7) / 8;
}

int PngPixelLayout::filterStride() const
{
    return std::max(1, channelsOf(colourType) * bitDepth / 8);
}

bool PngPixelLayout::hasAlpha() const
{
    if (colourType == kGrayAlpha || colourType == 6)
        return true;
    if (colourType == kPalette) {
        for (QRgb entry : palette) {
            if (qAlpha(entry) != 255)
                return true;
        }
        return false;
    }
    return transparentGray >= 0 || transparentRgb[0] >= 0;
}

bool PngPixelLayout::isPlainGray() const
{
    return colourType == kGray && transparentGray < 0;
}

bool unfilterPngRow(uchar* row, const uchar* previous, std::size_t rowBytes, int stride)
{
    uchar* current = row + 1;
    const uchar* above = previous + 1;
    const auto back = static_cast<std::size_t>(stride);
    switch (row[0]) {
    case 0:
        return true;
    case 1:
        for (std::size_t i = back; i < rowBytes; ++i)
            current[i] = static_cast<uchar>(current[i] + current[i - back]);
        return true;
    case 2:
        for (std::size_t i = 0; i < rowBytes; ++i)
            current[i] = static_cast<uchar>(current[i] + above[i]);
        return true;
    case 3:
        for (std::size_t i = 0; i < std::min(back, rowBytes); ++i)
            current[i] = static_cast<uchar>(current[i] + (above[i] >> 1));
        for (std::size_t i = back; i < rowBytes; ++i)
            current[i] = static_cast<uchar>(current[i] + ((current[i - back] + above[i]) >> 1));
        return true;
    case 4:
        for (std::size_t i = 0; i < std::min(back, rowBytes); ++i)
            current[i] = static_cast<uchar>(current[i] + above[i]);
        for (std::size_t i = back; i < rowBytes; ++i)
            current[i] = static_cast<uchar>(
                current[i] + paethPredictor(current[i - back], above[i], above[i - back]));
        return true;
    default:
        return false;
    }
}

void expandPngGrayRow(const PngPixelLayout& layout, const uchar* samples, uchar* gray)
{
    const int scale = 255 / ((1 << layout.bitDepth) - 1);
    for (int x = 0; x < layout.width; ++x)
        gray[x] = static_cast<uchar>(packedSample(samples, x, layout.bitDepth) * scale);
}

void expandPngRow(const PngPixelLayout& layout, const uchar* samples, QRgb* pixels)
{
    const int width = layout.width;
    switch (layout.colourType) {
    case kGray: {
        const int scale = 255 / ((1 << layout.bitDepth) - 1);
        for (int x = 0; x < width; ++x) {
            const int sample = packedSample(samples, x, layout.bitDepth);
            const int level = sample * scale;
            // Qt's reader clears the transparent level to transparent black.
            pixels[x] = sample == layout.transparentGray ? 0 : qRgb(level, level, level);
        }
        return;
    }
    case kRgb: {
        const auto& key = layout.transparentRgb;
        for (int x = 0; x < width; ++x, samples += 3) {
            const bool keyed = samples[0] == key[0] && samples[1] == key[1] && samples[2] == key[2];
            pixels[x] = qRgba(samples[0], samples[1], samples[2], keyed ? 0 : 255);
        }
        return;
    }
    case kPalette:
        for (int x = 0; x < width; ++x)
            pixels[x] =
                layout.palette[static_cast<std::size_t>(packedSample(samples, x, layout.bitDepth))];
        return;
    case kGrayAlpha:
        for (int x = 0; x < width; ++x, samples += 2)
            pixels[x] = qRgba(samples[0], samples[0], samples[0], samples[1]);
        return;
    default:
        for (int x = 0; x < width; ++x, samples += 4)
            pixels[x] = qRgba(samples[0], samples[1], samples[2], samples[3]);
        return;
    }
}

} // namespace kavelora::decoder
