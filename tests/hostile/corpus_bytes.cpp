// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "hostile_entries.h"
#include "picture_fixtures.h"

#include <zlib.h>

namespace kavelora::hostile {

QByteArray zlibRows(const QByteArray& row, qint64 rows, qint64 limitBytes)
{
    z_stream stream = {};
    if (deflateInit(&stream, Z_BEST_COMPRESSION) != Z_OK)
        return {};
    // Whole rows per piece, about a mebibyte at a time.
    const qint64 rowsPerPiece = std::max<qint64>(1, (1 << 20) / std::max<qsizetype>(row.size(), 1));
    const QByteArray piece = row.repeated(static_cast<qsizetype>(rowsPerPiece));
    qint64 remaining = rows * row.size();
    if (limitBytes >= 0)
        remaining = std::min(remaining, limitBytes);
    QByteArray out;
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    int flush = Z_NO_FLUSH;
    do {
        const qint64 take = std::min<qint64>(remaining, piece.size());
        remaining -= take;
        flush = remaining == 0 ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.constData()));
        stream.avail_in = static_cast<uInt>(take);
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
            stream.avail_out = static_cast<uInt>(buffer.size());
            deflate(&stream, flush);
            out.append(buffer.constData(),
                       buffer.size() - static_cast<qsizetype>(stream.avail_out));
        } while (stream.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&stream);
    return out;
}

QByteArray pngFile(quint32 width, quint32 height, int bitDepth, int colourType,
                   const QByteArray& imageData)
{
    QByteArray header = be32(width) + be32(height);
    header += static_cast<char>(bitDepth);
    header += static_cast<char>(colourType);
    header += QByteArray(3, '\0'); // deflate, adaptive filtering, not interlaced
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + tests::pngChunk("IHDR", header) +
           tests::pngChunk("IDAT", imageData) + tests::pngChunk("IEND", {});
}

} // namespace kavelora::hostile
