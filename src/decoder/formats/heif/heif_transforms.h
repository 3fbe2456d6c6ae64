// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/formats/heif/heif_boxes.h"
#include "decoder/formats/heif/heif_image_plan.h"

#include <optional>

// The transformative properties of a HEIF item: clap, irot and imir.
namespace kavelora::decoder::heif {

// What property box does to a picture of size; nullopt for a property that transforms
// nothing. Throws InvalidPicture for a broken one, or a crop that leaves the picture.
// The kept rectangle of clap: its centre lies at the offset from the picture's, and each of
// its edges on the pixel the exact fraction falls in, rounding down. imir's axis 0 swaps top
// and bottom and 1 left and right, as the files libheif 1.15 writes and shows take them.
std::optional<ImageTransform> transformOf(const QByteArray& file, const Box& property, QSize size);

// Whether a reader knows what the property of type means (it may ignore its meaning then).
bool isKnownProperty(const QByteArray& type);

} // namespace kavelora::decoder::heif
