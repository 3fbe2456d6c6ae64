// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/decoded_picture.h"
#include "decoder/picture_format.h"

#include <QByteArray>

namespace kavelora::decoder {

// The primary picture of the HEIF (HEVC coded) in bytes, area-reduced to cover request.cover
// where it is larger, cropped, turned and mirrored as it says, with its alpha, in sRGB; the
// image is null when it would have request.held's size. Raises RuntimeError: InvalidPicture,
// or OutOfMemory past the size or memory limits, checked before decoding.
DecodedPicture readHeif(const QByteArray& bytes, const ReadRequest& request);

} // namespace kavelora::decoder
