// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>

namespace kavelora::decoder {

// How bright an HDR picture says it gets, in cd/m²; 0 where it does not say.
struct StatedLightLevels
{
    // Content light level (clli): the brightest pixel.
    float maxContentLight = 0;
    // Mastering display colour volume (mdcv): the mastering display's peak.
    float masteringPeak = 0;
};

// The clli and mdcv properties the primary item of the ISO base media file (HEIF, AVIF) in
// file is associated with. Boxes that run past their parent or are too short for their fields
// are ignored; a file that is no such container gives zeros.
StatedLightLevels statedLightLevels(QByteArrayView file);

} // namespace kavelora::decoder
