// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QImage>

#include <tiffio.h>

// TIFFs written by libtiff, of the kinds the reader tests need.
namespace kavelora::tests {

struct TiffKind
{
    int samples = 3; // 1 gray, 3 RGB, 4 RGB with alpha
    int bitsPerSample = 8;
    uint16_t compression = COMPRESSION_LZW;
    int rowsPerStrip = 16;
    bool tiled = false;
    uint16_t orientation = ORIENTATION_TOPLEFT;
};

// The TIFF of image's pixels (gray from its green) of kind; empty when it cannot be written.
QByteArray tiffFile(const QImage& image, const TiffKind& kind);

} // namespace kavelora::tests
