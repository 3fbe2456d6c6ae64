// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/decoded_picture.h"
#include "decoder/picture_format.h"

#include <QByteArray>
#include <QSize>

namespace kavelora::decoder {

// The AVIF in bytes (the first frame of a sequence), cropped, turned and mirrored as it says,
// in sRGB, area-averaged by areaReductionFactor(its shown size, request.cover); a null image
// when that copy or the whole picture is request.held. Raises RuntimeError: InvalidPicture,
// or OutOfMemory past the size or memory limits, checked before decoding.
DecodedPicture readAvif(const QByteArray& bytes, const ReadRequest& request);

} // namespace kavelora::decoder
