// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/decoded_picture.h"
#include "decoder/common/pixel_allocation.h"

#include <QSize>

#include <optional>

class QIODevice;

namespace kavelora::decoder {

// The PNG on device, read from its start a row at a time and area-averaged by
// areaReductionFactor(its own size, coverPixels); ownSize is its size before that. Colour
// chunks are honoured as Qt's reader honours them and the pixels converted to sRGB:
// Grayscale8 for 8-bit gray without transparency, RGB32 when opaque, otherwise ARGB32
// (premultiplied once reduced). nullopt for the kinds left to Qt's reader (interlaced, or 16
// bits a sample), with device moved back to where it was. Raises RuntimeError:
// InvalidPicture for a broken signature, header, chunk, CRC or image data (truncated
// included), OutOfMemory past kMaxPicturePixels or when allocate cannot give the pixels.
std::optional<DecodedPicture> readPng(QIODevice& device, QSize coverPixels,
                                      const PixelAllocator& allocate = plainPixels);

} // namespace kavelora::decoder
