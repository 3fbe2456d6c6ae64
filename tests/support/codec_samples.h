// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>

#include <cstdint>
// libjpeg needs the standard I/O types declared before it.
#include <cstdio>

#include <jpeglib.h>
#include <tiffio.h>

// Pictures written by the codec libraries' own encoders (giflib, libjpeg, libtiff, libwebp),
// of the kinds Qt's writers cannot make, and the pictures the reader tests encode with them.
namespace kavelora::tests {

// Where the logical screen descriptor ends, and the global colour table starts.
inline constexpr qsizetype kScreenDescriptorEnd = 13;

struct GifLayout
{
    QSize screen;
    // The image's place on the screen; the whole screen when empty.
    QRect image;
    int globalColours = 0;
    int localColours = 0;
    bool graphicControl = false;
    int transparentIndex = -1;
    bool interlaced = false;
    int images = 1;
};

// A GIF of layout whose every image holds the same indices, in bands with scattered detail
// drawn from seed; empty when giflib cannot start.
QByteArray encodedGif(const GifLayout& layout, std::uint64_t seed = 1);

// One image filling a screen of size, over a global table of globalColours.
GifLayout still(QSize size, int globalColours);

// layout with a graphic control block naming index transparent.
GifLayout transparent(GifLayout layout, int index);

// gif with raw bytes put in before its first block, after the global colour table.
QByteArray withBlockFirst(QByteArray gif, int globalColours, const QByteArray& block);

// A GIF written with a table of 256 colours, whose table is then cut to its first four: its
// indices run past the table.
QByteArray indicesPastTable(bool withTransparency);

// gif, written without extensions or a local table, with both descriptors claiming size.
QByteArray claimingSize(QByteArray gif, int globalColours, QSize size);

// Smooth colour and fine detail, so that scaling and chroma subsampling both show.
QImage detailedPhoto(QSize size, QImage::Format format = QImage::Format_RGB32);

// A JPEG of size whose components are given to libjpeg as input and stored as stored.
QByteArray libjpegFile(QSize size, int components, J_COLOR_SPACE input, J_COLOR_SPACE stored);

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

// Smooth colour with a little detail and, when withAlpha, a fading alpha: what a photo or a
// drawing with a soft edge holds.
QImage softPhoto(QSize size, bool withAlpha);

// image as a lossless WebP, or a lossy one at quality 90.
QByteArray webpFile(const QImage& image, bool lossless);

} // namespace kavelora::tests
