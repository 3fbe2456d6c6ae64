// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/decoded_picture.h"

#include <QByteArray>
#include <QSize>

namespace kavelora::decoder {

// A reader decoding one format through its codec library.
using LibraryReader = DecodedPicture (*)(const QByteArray& bytes, QSize coverPixels);

// The reader of a sniffed format ("heif", "avif", "jxl"), or null for formats Qt reads.
LibraryReader libraryReaderFor(const QByteArray& format);

// Loads and registers everything the HEIF, AVIF and JPEG XL decoders would otherwise set up at
// their first decode, so that a process may lock itself down before it decodes anything.
void loadHeifAndJxlUpFront();

} // namespace kavelora::decoder
