// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/common/codec_decode_fits.h"

#include "protocol/picture_limits.h"

namespace kavelora::decoder {

bool codecDecodeFits(qint64 width, qint64 height, int bitsPerSample, bool hasAlpha)
{
    if (width <= 0 || height <= 0 || width > protocol::kMaxCodecSidePixels ||
        height > protocol::kMaxCodecSidePixels)
        return false;
    const qint64 pixels = width * height;
    const qint64 sampleBytes = bitsPerSample > 8 ? 2 : 1;
    const qint64 channels = hasAlpha ? 4 : 3;
    // The codec's planes, its interleaved samples, and the 32-bit picture made from them.
    const qint64 bytesPerPixel = 2 * channels * sampleBytes + 4;
    return pixels <= protocol::kMaxPicturePixels &&
           pixels * bytesPerPixel <= protocol::kMaxCodecDecodeBytes &&
           pixels * channels * sampleBytes <= protocol::kMaxCodecSampleBufferBytes;
}

} // namespace kavelora::decoder
