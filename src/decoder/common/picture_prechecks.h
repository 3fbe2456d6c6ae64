// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

namespace kavelora::decoder {

// The format of the allow-list that the content starts like (a Qt format name), or empty.
// The file's name never decides it.
QByteArray sniffPictureFormat(const QByteArray& bytes);

enum class HeadCheck { Passes, Fails, NeedsWholeFile };

// Fails when a chunk other than image data claims more than the file has left, which the
// decoder would allocate before noticing. head is the start of a file of fileSize bytes.
HeadCheck pngChunksFitFile(const QByteArray& head, qint64 fileSize);

// Fails when an uncompressed BMP's pixel rows reach past the end of the file: the decoder
// would leave the missing rows as uninitialised memory. A run-length coded BMP needs the whole
// file, whose runs its reader checks.
HeadCheck bmpPixelsFitFile(const QByteArray& head, qint64 fileSize);

// Fails when a JPEG coded in several scans (progressive, or a first scan of fewer components
// than the frame) would buffer more than kMaxJpegCoefficientBytes of coefficients, which it
// holds at full size whatever the scale. Decided by the markers up to the first scan.
HeadCheck jpegCoefficientsFit(const QByteArray& head, qint64 fileSize);

// Whether a HEIF, AVIF or JPEG XL picture claiming width by height pixels at bitsPerSample
// (8 to 16) decodes within kMaxPicturePixels, kMaxCodecSidePixels, kMaxCodecDecodeBytes and
// kMaxCodecSampleBufferBytes.
bool codecDecodeFits(qint64 width, qint64 height, int bitsPerSample, bool hasAlpha);

HeadCheck precheckHead(const QByteArray& head, qint64 fileSize, const QByteArray& format);

} // namespace kavelora::decoder
