// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/decoded_picture.h"
#include "decoder/common/pixel_allocation.h"

#include <QSize>

#include <optional>

class QIODevice;

namespace kavelora::decoder {

// The TIFF on device (read from its start) area-averaged by areaReductionFactor as libtiff
// hands its rows over: 8-bit RGB (RGB32) or 8-bit gray, black at zero (Grayscale8), in strips,
// upright, without a colour profile. nullopt, with device where it was, for every other kind,
// which Qt's reader takes. Raises RuntimeError: InvalidPicture when a row does not decode,
// OutOfMemory past kMaxPicturePixels.
std::optional<DecodedPicture> readTiff(QIODevice& device, QSize coverPixels,
                                       const PixelAllocator& allocate = plainPixels);

} // namespace kavelora::decoder
