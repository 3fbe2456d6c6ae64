// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/decoded_picture.h"
#include "decoder/common/pixel_allocation.h"

#include <QByteArray>
#include <QSize>

namespace kavelora::decoder {

// The JPEG XL in bytes (the first frame of an animation), whole whatever coverPixels asks,
// oriented, in sRGB. Raises RuntimeError: InvalidPicture, or OutOfMemory past the size limits
// (checked before decoding) or when the decoder would take over kMaxCodecDecodeBytes.
DecodedPicture readJxl(const QByteArray& bytes, const PixelAllocator& allocate = plainPixels);

} // namespace kavelora::decoder
