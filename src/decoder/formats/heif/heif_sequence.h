// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/formats/heif/heif_boxes.h"
#include "decoder/formats/heif/heif_image_plan.h"

#include <QByteArray>
#include <QSize>

// The first picture of a HEIF image sequence.
namespace kavelora::decoder::heif {

struct SequenceImage
{
    // The body of the sample entry's hvcC.
    QByteArray configuration;
    QSize size;
    FileExtent firstSample;
    // The sample entry's boxes, hvcC and the colour ones among them.
    std::vector<Box> entryBoxes;
};

// The first sample of the first track of moov whose handler is 'pict', with its hvc1 sample
// entry. Throws platform::RuntimeError(InvalidPicture) when there is none or any box, offset
// or size on the way is broken.
SequenceImage firstSequenceImage(const QByteArray& file, const Box& moov);

} // namespace kavelora::decoder::heif
