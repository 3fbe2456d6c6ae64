// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/decoded_picture.h"
#include "decoder/formats/heif/heif_image_plan.h"
#include "decoder/picture_format.h"

#include <QByteArray>

namespace kavelora::decoder::heif {

// The primary picture plan describes, decoded from file: area-reduced by the largest whole
// factor that still covers request.cover (whole for a cover of its own size), cropped, turned
// and mirrored as its transforms say, with its alpha, in sRGB. ownSize is the whole picture's
// size after the transforms; the image is null when it would have request.held's size. Raises
// RuntimeError: InvalidPicture for broken data, OutOfMemory past the caps.
DecodedPicture decodeImagePlan(const QByteArray& file, const ImagePlan& plan,
                               const ReadRequest& request);

} // namespace kavelora::decoder::heif
