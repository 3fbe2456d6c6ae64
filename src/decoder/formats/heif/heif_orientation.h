// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/pixel_allocation.h"
#include "decoder/formats/heif/heif_image_plan.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <QTransform>

#include <vector>

namespace kavelora::decoder::heif {

// What a list of crops, rotations and mirrors amounts to: one crop of the picture they start
// from, then one of the eight orientations.
struct ComposedTransforms
{
    QRect crop;
    // Maps pixel edges of the crop (its top left at the origin) onto those of the result.
    QTransform orientation;

    // The size the transforms leave.
    QSize orientedSize() const;
};

// The transforms, in order, on a picture of size base. Raises RuntimeError InvalidPicture when
// a crop leaves the picture as the transforms before it left it.
ComposedTransforms composeTransforms(QSize base, const std::vector<ImageTransform>& transforms);

// source turned and mirrored as orientation says (its translation ignored), in pixels from
// allocate of source's format; source itself when the orientation leaves it as it is. Raises
// RuntimeError OutOfMemory when the pixels cannot be had.
QImage orientedCopy(const QImage& source, const QTransform& orientation,
                    const PixelAllocator& allocate);

} // namespace kavelora::decoder::heif
