// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/bmp/bmp_head_check.h"

#include "decoder/common/byte_fields.h"

#include <cstdlib>

namespace kavelora::decoder {

HeadCheck bmpPixelsFitFile(const QByteArray& head, qint64 fileSize)
{
    constexpr qsizetype kFileHeaderLength = 14;
    const auto verdict = [](bool fits) { return fits ? HeadCheck::Passes : HeadCheck::Fails; };
    if (head.size() < kFileHeaderLength + 12)
        return verdict(false);
    const quint32 pixelOffset = readLittleEndian32(head, 10);
    const quint32 infoLength = readLittleEndian32(head, kFileHeaderLength);
    qint64 width = 0;
    qint64 height = 0;
    quint16 bitsPerPixel = 0;
    quint32 compression = 0;
    if (infoLength == 12) {
        width = readLittleEndian16(head, 18);
        height = readLittleEndian16(head, 20);
        bitsPerPixel = readLittleEndian16(head, 24);
    } else {
        if (head.size() < kFileHeaderLength + 20)
            return verdict(false);
        width = static_cast<qint32>(readLittleEndian32(head, 18));
        height = static_cast<qint32>(readLittleEndian32(head, 22));
        bitsPerPixel = readLittleEndian16(head, 28);
        compression = readLittleEndian32(head, 30);
    }
    constexpr quint32 kRgb = 0;
    constexpr quint32 kRunLength8 = 1;
    constexpr quint32 kRunLength4 = 2;
    constexpr quint32 kBitFields = 3;
    constexpr quint32 kAlphaBitFields = 6;
    if (width <= 0 || height == 0 || bitsPerPixel == 0)
        return verdict(false);
    if (compression == kRunLength8 || compression == kRunLength4) {
        if (head.size() < fileSize)
            return HeadCheck::NeedsWholeFile;
        return verdict(height > 0 && pixelOffset < static_cast<quint32>(head.size()));
    }
    if (compression != kRgb && compression != kBitFields && compression != kAlphaBitFields)
        return verdict(false);
    // A row longer than the file fails at once; below that, no product can overflow.
    const qint64 rowBytes = (width * bitsPerPixel + 31) / 32 * 4;
    if (rowBytes > fileSize)
        return verdict(false);
    const qint64 pixelBytes = rowBytes * std::llabs(height);
    return verdict(pixelOffset >= qint64{kFileHeaderLength} + infoLength &&
                   static_cast<qint64>(pixelOffset) + pixelBytes <= fileSize);
}

} // namespace kavelora::decoder
