// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "flat_jpeg.h"

#include "byte_fields.h"

#include <QSaveFile>

#include <algorithm>

namespace kavelora::tests {

namespace {

QByteArray segment(quint8 marker, const QByteArray& payload)
{
    QByteArray bytes(4, '\0');
    bytes[0] = '\xFF';
    bytes[1] = static_cast<char>(marker);
    put16be(bytes, 2, static_cast<quint32>(payload.size() + 2));
    return bytes + payload;
}

// A Huffman table of one symbol whose code is codeBits zero bits.
QByteArray singleCodeTable(quint8 tableClassAndId, int codeBits)
{
    QByteArray payload(1 + 16 + 1, '\0');
    payload[0] = static_cast<char>(tableClassAndId);
    payload[codeBits] = 1;
    return payload;
}

} // namespace

bool writeFlatGreyJpeg(const QString& path, QSize size)
{
    QByteArray frame(6, '\0');
    frame[0] = 8;
    put16be(frame, 1, static_cast<quint32>(size.height()));
    put16be(frame, 3, static_cast<quint32>(size.width()));
    frame[5] = 3;
    // Y, Cb and Cr, the colour halved both ways as cameras write it; quantisation table 0.
    frame += QByteArray("\x01\x22\x00\x02\x11\x00\x03\x11\x00", 9);
    QByteArray head("\xFF\xD8", 2);
    head += segment(0xDB, QByteArray(1, '\0') + QByteArray(64, '\x01'));
    head += segment(0xC0, frame);
    // DC: difference category 0 as "00"; AC: end of block as "0000".
    head += segment(0xC4, singleCodeTable(0x00, 2) + singleCodeTable(0x10, 4));
    head += segment(0xDA, QByteArray("\x03\x01\x00\x02\x00\x03\x00\x00\x3F\x00", 10));

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(head) != head.size())
        return false;
    // A 16 x 16 unit holds four Y blocks, one Cb and one Cr.
    const qint64 units = qint64{(size.width() + 15) / 16} * ((size.height() + 15) / 16);
    const qint64 dataBits = units * 6 * 6;
    const QByteArray zeros(1 << 20, '\0');
    for (qint64 left = dataBits / 8; left > 0; left -= zeros.size()) {
        if (file.write(zeros.constData(), std::min<qint64>(left, zeros.size())) < 0)
            return false;
    }
    // The last bits padded with ones, as the format asks; never a whole 0xFF byte.
    QByteArray tail;
    if (const int spareBits = static_cast<int>(dataBits % 8); spareBits != 0)
        tail.append(static_cast<char>(0xFF >> spareBits));
    tail.append("\xFF\xD9", 2);
    return file.write(tail) == tail.size() && file.commit();
}

} // namespace kavelora::tests
