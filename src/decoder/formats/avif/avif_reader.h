// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/decoded_picture.h"
#include "decoder/common/pixel_allocation.h"

#include <QByteArray>
#include <QSize>

namespace kavelora::decoder {

// The AVIF in bytes (the first frame of a sequence), whole whatever coverPixels asks, turned
// and mirrored as it says, in sRGB. Raises RuntimeError: InvalidPicture, or OutOfMemory past
// the size or memory limits, checked before decoding.
DecodedPicture readAvif(const QByteArray& bytes, const PixelAllocator& allocate = plainPixels);

} // namespace kavelora::decoder
