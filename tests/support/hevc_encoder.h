// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// Pictures coded as HEVC still images by libx265, for the HEIF writer.
namespace kavelora::tests {

struct HevcPicture
{
    // The body of an hvcC property: the decoder configuration record with VPS, SPS and PPS.
    QByteArray configuration;
    // The picture's NAL units, each after a 4-byte big-endian length.
    QByteArray data;
    // The coded size. 4:2:0 pictures of odd sides are coded one row or column larger, and sides
    // under 16 as 16, the last row and column repeated; the container crops them back (ispe of
    // the coded size with clap, or a grid). Other sides x265 crops itself, in the SPS.
    QSize size;
};

enum class HevcChroma { Yuv420, Yuv444, Monochrome };

struct HevcOptions
{
    // 8 or 10 (or 12) bits per sample.
    int bitDepth = 8;
    HevcChroma chroma = HevcChroma::Yuv420;
    bool lossless = false;
    // x265's constant rate factor where not lossless: lower is better.
    int quality = 18;
    bool fullRange = false;
    // ITU-T H.273 matrix coefficients of the RGB to YCbCr conversion: 0 (GBR), 1 (BT.709),
    // 5 or 6 (BT.601), 9 (BT.2020 non-constant). Written into the stream's VUI with the two below.
    int matrixCoefficients = 6;
    int colourPrimaries = 1;
    int transferCharacteristics = 13;
    // Codes the picture's alpha as grey instead of its colour (monochrome for an alpha plane).
    bool alphaAsLuma = false;
    // Entropy coding sync, rows a decoder may take in parallel.
    bool wavefront = false;
};

// The picture coded as one intra frame. Throws std::runtime_error when x265 refuses (a bit depth
// its library lacks, a size it cannot code).
HevcPicture encodeHevc(const QImage& picture, const HevcOptions& options = {});

} // namespace kavelora::tests
