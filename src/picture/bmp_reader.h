// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace kavelora::picture {

// Whether the BMP that starts with head is read from its whole file: run-length coded, or with
// a 52- or 56-byte information header.
bool bmpNeedsWholeFile(const QByteArray& head);

// Whether the BMP in bytes is run-length coded (8 or 4 bits a pixel), for readRunLengthBmp.
bool isRunLengthBmp(const QByteArray& bytes);

// The run-length coded BMP in bytes, ARGB32: pixels that the runs skip (by a jump, the end of
// a row or the end of the picture) are transparent; RGB32 when the runs set every pixel.
// Raises RuntimeError naming fileName: ErrorNumber::InvalidPicture for runs that reach past a
// row, the picture or the data, ErrorNumber::OutOfMemory for more than maxPixels pixels.
QImage readRunLengthBmp(const QByteArray& bytes, qint64 maxPixels, const QString& fileName);

// bytes with a 52- or 56-byte information header, which Qt's reader cannot read, rewritten
// with the 108-byte header carrying the same colour masks; any other bytes as they are.
QByteArray withQtReadableBmpHeader(const QByteArray& bytes);

} // namespace kavelora::picture
