// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

namespace kavelora::decoder {

// Whether a HEIF, AVIF or JPEG XL picture claiming width by height pixels at bitsPerSample
// (8 to 16) decodes within kMaxPicturePixels, kMaxCodecSidePixels, kMaxCodecDecodeBytes and
// kMaxCodecSampleBufferBytes.
bool codecDecodeFits(qint64 width, qint64 height, int bitsPerSample, bool hasAlpha);

} // namespace kavelora::decoder
