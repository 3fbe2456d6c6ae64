// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/picture_format.h"

#include <QByteArray>

namespace kavelora::decoder {

// Fails when a chunk other than image data claims more than the file has left, which the
// decoder would allocate before noticing. head is the start of a file of fileSize bytes.
HeadCheck pngChunksFitFile(const QByteArray& head, qint64 fileSize);

} // namespace kavelora::decoder
