// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRgb>
#include <QSize>

#include <cstdint>

// Writers of picture files that Qt cannot write, or writes only well-formed, and the simple
// pictures the tests draw: the fixtures of the picture tests are made by these at run time.
namespace kavelora::tests {

// A GIF of frames (palette indices, row by row) over a palette of up to four colours.
// More than one frame makes it animated, looping, delayCentiseconds apart.
QByteArray gifFile(QSize size, const QList<QRgb>& palette, const QList<QByteArray>& frames,
                   int delayCentiseconds = 5, int transparentIndex = -1);

// image encoded by Qt's writer for format.
QByteArray encoded(const QImage& image, const char* format, int quality = -1);

// image as a progressive JPEG.
QByteArray encodedProgressive(const QImage& image, int quality = 90);

// jpeg with its frame header (the segment starting frameMarker) claiming side x side pixels.
QByteArray claimingSide(QByteArray jpeg, const char* frameMarker, int side);

// A JPEG with an EXIF block giving the orientation (1 to 8) inserted after its start marker.
QByteArray withExifOrientation(const QByteArray& jpeg, int orientation);

// The CRC of a PNG chunk's type and data.
quint32 pngCrc(const QByteArray& typeAndData);

// A PNG chunk with its length and CRC.
QByteArray pngChunk(const QByteArray& type, const QByteArray& data);

// A BMP of width x height with an information header of headerBytes (at least 40), the
// colour masks, the palette (4 bytes a colour) and the pixel data. Masks that do not fit in
// the header follow it, as with the 40-byte header and bit fields.
QByteArray bmpFile(quint32 headerBytes, qint32 width, qint32 height, quint16 bitsPerPixel,
                   quint32 compression, const QList<quint32>& masks, const QByteArray& palette,
                   const QByteArray& pixels);

// Opaque colours the picture tests draw with and look for.
namespace colour {
inline constexpr QRgb kRed = 0xFFFF0000;
inline constexpr QRgb kGreen = 0xFF00FF00;
inline constexpr QRgb kBlue = 0xFF0000FF;
inline constexpr QRgb kWhite = 0xFFFFFFFF;
inline constexpr QRgb kBlack = 0xFF000000;
} // namespace colour

// Red, green, blue and white quadrants, 64 x 48.
QImage quadrants();

// An image whose left half is left and right half right.
QImage twoHalves(QSize size, QRgb left, QRgb right, QImage::Format format = QImage::Format_RGB32);

// A picture of size whose every pixel is an opaque colour drawn from SeededRandom(seed): detail
// that neither compresses nor survives scaling.
QImage noisePicture(QSize size, std::uint64_t seed);

// isoMedia (a HEIF or AVIF) with every ispe property claiming width x height.
QByteArray withIspeClaim(QByteArray isoMedia, quint32 width, quint32 height);

// A JPEG XL codestream of nothing but a header claiming width x height (1 to 2^30 each).
QByteArray jxlHeaderClaiming(quint32 width, quint32 height);

// image averaged over blocks of factor x factor pixels in premultiplied colour: a pixel for
// each block begun, the blocks at the right and bottom edges averaging the pixels they have.
QImage exactAreaAverage(const QImage& image, int factor);

// The peak signal-to-noise ratio of actual against expected over premultiplied ARGB, in dB;
// 99 when they are equal.
double psnr(const QImage& actual, const QImage& expected);
// The largest difference of any channel of any pixel once both are in format, or -1 when the
// sizes differ.
int largestChannelDifference(const QImage& actual, const QImage& expected,
                             QImage::Format format = QImage::Format_ARGB32);

// True when the two colours differ by at most tolerance in each of red, green and blue.
bool colourNear(QRgb actual, QRgb expected, int tolerance = 6);

} // namespace kavelora::tests
