// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/jpeg/jpeg_head_check.h"

#include "decoder/common/byte_fields.h"
#include "protocol/picture_limits.h"

#include <algorithm>

namespace kavelora::decoder {

namespace {

bool isJpegFrameMarker(unsigned marker)
{
    // SOF0 to SOF15 less DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool isJpegProgressive(unsigned marker)
{
    return marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
}

// Whole-picture coefficient arrays as libjpeg allocates them: per component, its blocks
// across and down (rounded up to its sampling factors), 64 coefficients of 2 bytes each.
qint64 coefficientArrayBytes(const QByteArray& bytes, qsizetype frame)
{
    const qint64 height = readBigEndian16(bytes, frame + 3);
    const qint64 width = readBigEndian16(bytes, frame + 5);
    const int components = static_cast<unsigned char>(bytes[frame + 7]);
    if (frame + 8 + 3 * components > bytes.size())
        return 0;
    int maxHorizontal = 1;
    int maxVertical = 1;
    for (int i = 0; i < components; ++i) {
        const auto sampling = static_cast<unsigned char>(bytes[frame + 9 + 3 * i]);
        maxHorizontal = std::max(maxHorizontal, sampling >> 4);
        maxVertical = std::max(maxVertical, sampling & 0x0F);
    }
    const auto blocks = [](qint64 side, int factor, int maxFactor) {
        const qint64 samples = (side * factor + maxFactor - 1) / maxFactor;
        const qint64 count = (samples + 7) / 8;
        return factor > 0 ? (count + factor - 1) / factor * factor : count;
    };
    qint64 total = 0;
    for (int i = 0; i < components; ++i) {
        const auto sampling = static_cast<unsigned char>(bytes[frame + 9 + 3 * i]);
        total += blocks(width, sampling >> 4, maxHorizontal) *
                 blocks(height, sampling & 0x0F, maxVertical) * 64 * 2;
    }
    return total;
}

// libjpeg decides from the first scan alone whether to buffer the whole picture.
struct JpegFirstScan
{
    bool found = false;
    qint64 coefficientBytes = 0;
};

JpegFirstScan readJpegFirstScan(const QByteArray& bytes)
{
    qsizetype frame = -1;
    bool progressive = false;
    qsizetype at = 2;
    while (at + 4 <= bytes.size()) {
        if (static_cast<unsigned char>(bytes[at]) != 0xFF) {
            ++at; // not a marker: skip as the decoder does
            continue;
        }
        const auto marker = static_cast<unsigned char>(bytes[at + 1]);
        if (marker == 0x00) {
            at += 2; // a stuffed zero, no marker: the decoder drops both bytes and reads on
            continue;
        }
        if (marker == 0xFF || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            ++at; // fill byte or a marker without a length
            continue;
        }
        if (marker == 0xD9)
            break;
        if (isJpegFrameMarker(marker) && frame < 0 && at + 2 + 8 <= bytes.size()) {
            frame = at + 2;
            progressive = isJpegProgressive(marker);
        }
        if (marker == 0xDA) {
            if (at + 5 > bytes.size())
                break;
            if (frame < 0)
                return {true, 0};
            const int frameComponents = static_cast<unsigned char>(bytes[frame + 7]);
            const int scanComponents = static_cast<unsigned char>(bytes[at + 4]);
            const bool buffered = progressive || scanComponents < frameComponents;
            return {true, buffered ? coefficientArrayBytes(bytes, frame) : 0};
        }
        at += 2 + readBigEndian16(bytes, at + 2);
    }
    return {};
}

} // namespace

HeadCheck jpegCoefficientsFit(const QByteArray& head, qint64 fileSize)
{
    const JpegFirstScan scan = readJpegFirstScan(head);
    if (!scan.found && head.size() < fileSize)
        return HeadCheck::NeedsWholeFile;
    return scan.coefficientBytes <= protocol::kMaxJpegCoefficientBytes ? HeadCheck::Passes
                                                                       : HeadCheck::Fails;
}

} // namespace kavelora::decoder
