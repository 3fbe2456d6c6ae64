// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/pixel_allocation.h"

#include <QByteArray>
#include <QImage>
#include <QString>

namespace kavelora::decoder {

// Whether the BMP starting with head is read whole: run-length coded, or a 52- or 56-byte
// information header.
bool bmpNeedsWholeFile(const QByteArray& head);

bool isRunLengthBmp(const QByteArray& bytes);

// The run-length coded BMP in bytes, its skipped pixels transparent (RGB32 when none are).
// Raises RuntimeError: InvalidPicture for runs past a row, the picture or the data,
// OutOfMemory over maxPixels.
QImage readRunLengthBmp(const QByteArray& bytes, qint64 maxPixels, const QString& fileName,
                        const PixelAllocator& allocate = plainPixels);

// A 52- or 56-byte information header, which Qt cannot read, rewritten as the 108-byte one
// with the same masks; any other bytes as they are.
QByteArray withQtReadableBmpHeader(const QByteArray& bytes);

} // namespace kavelora::decoder
