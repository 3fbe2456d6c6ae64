// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/decoded_picture.h"
#include "decoder/common/pixel_allocation.h"

#include <QByteArray>
#include <QSize>

namespace kavelora::decoder {

// The primary picture of the HEIF (HEVC coded) in bytes, whole whatever coverPixels asks, turned
// and mirrored as it says, in sRGB. Raises RuntimeError: InvalidPicture, or OutOfMemory past
// the size or memory limits, checked before decoding.
DecodedPicture readHeif(const QByteArray& bytes, const PixelAllocator& allocate = plainPixels);

// Registers the HEIF decoders, which otherwise happens at the first decode.
void initialiseHeifDecoders();

} // namespace kavelora::decoder
