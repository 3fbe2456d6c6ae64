// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/decoded_picture.h"
#include "decoder/common/pixel_allocation.h"

#include <QByteArray>
#include <QSize>

#include <optional>

namespace kavelora::decoder {

// The GIF in bytes area-averaged by areaReductionFactor, decoded a row at a time, when it is
// a still picture Qt's reader would show plainly: one image, covering the whole screen, not
// interlaced, with a colour table. Its pixels are Qt's: RGB32, or ARGB32 when a transparent
// index is given (premultiplied once reduced). The image is null when the decode would give
// decodedAlready's size, or the whole picture is held already. nullopt for every other GIF,
// broken ones included, which Qt's reader then takes. Raises RuntimeError OutOfMemory past
// kMaxPicturePixels or when the pixels cannot be had.
std::optional<DecodedPicture> readGif(const QByteArray& bytes, QSize coverPixels,
                                      QSize decodedAlready = {},
                                      const PixelAllocator& allocate = plainPixels);

} // namespace kavelora::decoder
