// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

namespace kavelora::platform {

// The Qt format name ("bmp", "ico", "cur", "gif", "jpeg", "png", "webp", "tiff", "pbm", "pgm",
// "ppm", "xbm", "xpm") that the content starts like, or empty when it is none of them. Only
// these formats are ever handed to a decoder, whatever the file's name says.
QByteArray sniffPictureFormat(const QByteArray& bytes);

// False when a PNG chunk other than the image data claims more bytes than the file has left:
// the decoder would allocate the claimed size before noticing.
bool pngChunksFitFile(const QByteArray& bytes);

// False when an uncompressed BMP's pixel rows reach past the end of the file: the decoder
// would leave the missing rows as uninitialised memory.
bool bmpPixelsFitFile(const QByteArray& bytes);

// The most memory, in bytes, a JPEG's whole-picture coefficient buffers may take.
inline constexpr qint64 kMaxJpegCoefficientBytes = 256LL * 1024 * 1024;

// The bytes the decoder holds for a JPEG that is coded in several scans (progressive, or
// baseline with more than one scan): all of its coefficients at full size, whatever scale it
// is decoded at. 0 for a single-scan JPEG, which is decoded a row of blocks at a time, and
// for bytes whose frame header cannot be found.
qint64 jpegCoefficientBytes(const QByteArray& bytes);

// Runs the checks that apply to format; false when the content must not reach the decoder.
bool passesPrechecks(const QByteArray& bytes, const QByteArray& format);

} // namespace kavelora::platform
