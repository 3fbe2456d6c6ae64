// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/decoded_picture.h"
#include "decoder/picture_format.h"

#include <QByteArray>
#include <QSize>

namespace kavelora::decoder {

// The JPEG XL in bytes (the first frame of an animation), oriented, in sRGB, area-averaged by
// areaReductionFactor(its own size, request.cover) as libjxl hands out its pieces; a null
// image when that copy or the whole picture is request.held. Raises RuntimeError:
// InvalidPicture, or OutOfMemory past the size limits (checked before decoding) or when the
// decoder would take over kMaxCodecDecodeBytes.
DecodedPicture readJxl(const QByteArray& bytes, const ReadRequest& request);

} // namespace kavelora::decoder
