// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

namespace kavelora::picture {

// The Qt format name ("bmp", "ico", "cur", "gif", "jpeg", "png", "webp", "tiff", "pbm", "pgm",
// "ppm", "xbm", "xpm") that the content starts like, or empty when it is none of them. Only
// these formats are ever handed to a decoder, whatever the file's name says.
QByteArray sniffPictureFormat(const QByteArray& bytes);

// What the checks make of a file from its first bytes.
enum class HeadCheck {
    Passes,
    Fails,
    // The checks need bytes beyond the head.
    NeedsWholeFile,
};

// Fails when a PNG chunk other than the image data claims more bytes than the file has left:
// the decoder would allocate the claimed size before noticing. head is the start of a file of
// fileSize bytes.
HeadCheck pngChunksFitFile(const QByteArray& head, qint64 fileSize);

// Fails when an uncompressed BMP's pixel rows reach past the end of the file: the decoder
// would leave the missing rows as uninitialised memory. A run-length coded BMP needs the whole
// file, whose runs its reader checks.
HeadCheck bmpPixelsFitFile(const QByteArray& head, qint64 fileSize);

// Fails when a JPEG's coefficient buffers would take more than kMaxJpegCoefficientBytes. A
// JPEG coded in several scans (progressive, or with a first scan of fewer components than the
// picture) holds all of its coefficients at full size, whatever scale it is decoded at; one
// decoded a row of blocks at a time holds none. The markers up to the first scan decide it;
// needs the whole file when they reach past the head.
HeadCheck jpegCoefficientsFit(const QByteArray& head, qint64 fileSize);

// Runs the checks that apply to format on the head of a file of fileSize bytes.
HeadCheck precheckHead(const QByteArray& head, qint64 fileSize, const QByteArray& format);

} // namespace kavelora::picture
