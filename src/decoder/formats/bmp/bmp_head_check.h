// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/picture_format.h"

#include <QByteArray>

namespace kavelora::decoder {

// Fails when an uncompressed BMP's pixel rows reach past the end of the file: the decoder
// would leave the missing rows as uninitialised memory. A run-length coded BMP needs the whole
// file, whose runs its reader checks.
HeadCheck bmpPixelsFitFile(const QByteArray& head, qint64 fileSize);

} // namespace kavelora::decoder
