// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/codec_samples.h"
#include "decoder/common/pixel_allocation.h"
#include "decoder/formats/avif/avif_shown_geometry.h"

#include <QImage>

struct avifImage;

namespace kavelora::decoder {

// The decoded image as shown (cropped, turned, mirrored as geometry says), in sRGB,
// area-averaged by factor, converted from its YUV planes a strip at a time so that no RGB
// copy of the whole picture is made. From allocate: RGB32, or with alpha ARGB32 at factor 1
// and ARGB32_Premultiplied above. Raises RuntimeError: OutOfMemory when the copy cannot be
// allocated, InvalidPicture when libavif cannot convert the planes.
QImage shownAvifPicture(const avifImage& image, const AvifShownGeometry& geometry,
                        const CodecColour& colour, bool alpha, int factor,
                        const PixelAllocator& allocate);

} // namespace kavelora::decoder
