// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/decoded_picture.h"
#include "decoder/common/finished_pixels.h"
#include "decoder/common/picture_stream.h"
#include "decoder/common/pixel_allocation.h"

#include <QByteArray>
#include <QSize>

namespace kavelora::decoder {

// The picture in bytes, in a format of the format table told by its content. A JPEG is decoded
// at the coarsest scale (1/2, 1/4, 1/8) still covering coverPixels, a PNG, WebP, TIFF or still
// GIF area-averaged by the coarsest whole factor covering it where their readers can; an
// animation gives its first frame. When the decode would give exactly decodedAlready's size,
// the image is left null. Pixels go into memory from allocate. Raises RuntimeError:
// InvalidPicture, or OutOfMemory over kMaxPicturePixels.
DecodedPicture decodePicture(const QByteArray& bytes, QSize coverPixels, QSize decodedAlready = {},
                             const PixelAllocator& allocate = plainPixels);

// Like decodePicture, decoding straight from stream where the format's reader can and its
// head suffices for the checks.
DecodedPicture decodePictureStream(PictureStream& stream, QSize coverPixels,
                                   QSize decodedAlready = {},
                                   const PixelAllocator& allocate = plainPixels);

} // namespace kavelora::decoder
