// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/png/png_head_check.h"

#include "decoder/common/byte_fields.h"

namespace kavelora::decoder {

HeadCheck pngChunksFitFile(const QByteArray& head, qint64 fileSize)
{
    constexpr qsizetype kSignatureLength = 8;
    constexpr qint64 kChunkOverhead = 12; // length, type and CRC
    qsizetype offset = kSignatureLength;
    while (offset + 8 <= head.size()) {
        const quint32 length = readBigEndian32(head, offset);
        const QByteArray type = head.mid(offset + 4, 4);
        // Image data is streamed through zlib, never allocated whole; a truncated file's last
        // data chunk may run past the end and decodes to defined pixels.
        if (type == "IDAT")
            return length <= 0x7FFFFFFFu ? HeadCheck::Passes : HeadCheck::Fails;
        const qint64 remaining = fileSize - offset - kChunkOverhead;
        if (length > 0x7FFFFFFFu || static_cast<qint64>(length) > remaining)
            return HeadCheck::Fails;
        if (type == "IEND")
            return HeadCheck::Passes;
        offset += kChunkOverhead + static_cast<qsizetype>(length);
    }
    if (head.size() < fileSize)
        return HeadCheck::NeedsWholeFile;
    // Cut off inside a chunk header: the decoder fails on it without allocating.
    return HeadCheck::Passes;
}

} // namespace kavelora::decoder
