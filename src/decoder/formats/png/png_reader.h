// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/decoded_picture.h"
#include "decoder/common/pixel_allocation.h"

#include <QByteArray>
#include <QSize>

#include <optional>

class QIODevice;

namespace kavelora::decoder {

// The PNG on device (read from its start) area-averaged by areaReductionFactor, or nullopt for
// the kinds left to Qt's reader (interlaced, or 16 bits a sample) with device left where it
// was. Colour chunks are honoured
// as Qt's reader honours them, and the result converted to sRGB. Raises RuntimeError:
// InvalidPicture for a broken header, chunk, CRC or image data (truncated included),
// OutOfMemory past kMaxPicturePixels.
std::optional<DecodedPicture> readPng(QIODevice& device, QSize coverPixels,
                                      const PixelAllocator& allocate = plainPixels);

// As above, from the file's bytes.
std::optional<DecodedPicture> readPng(const QByteArray& bytes, QSize coverPixels,
                                      const PixelAllocator& allocate = plainPixels);

} // namespace kavelora::decoder
