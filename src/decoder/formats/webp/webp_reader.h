// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/decoded_picture.h"
#include "decoder/common/pixel_allocation.h"

#include <QByteArray>
#include <QSize>

#include <optional>

namespace kavelora::decoder {

// The still WebP (lossy or lossless) in bytes, scaled by libwebp while it decodes to
// ceil(side / areaReductionFactor) each way: RGB32, or ARGB32 (ARGB32_Premultiplied when
// scaled) with alpha. nullopt for an animation or a picture with a colour profile, which
// Qt's reader takes. Raises RuntimeError: InvalidPicture when libwebp cannot decode it,
// OutOfMemory past kMaxPicturePixels.
std::optional<DecodedPicture> readWebp(const QByteArray& bytes, QSize coverPixels,
                                       const PixelAllocator& allocate = plainPixels);

} // namespace kavelora::decoder
