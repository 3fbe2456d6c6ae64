// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "byte_fields.h"

#include <QtEndian>

namespace kavelora::tests {

void put16le(QByteArray& bytes, qsizetype at, quint32 value)
{
    qToLittleEndian(static_cast<quint16>(value), bytes.data() + at);
}

void put32le(QByteArray& bytes, qsizetype at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

void put16be(QByteArray& bytes, qsizetype at, quint32 value)
{
    qToBigEndian(static_cast<quint16>(value), bytes.data() + at);
}

void put32be(QByteArray& bytes, qsizetype at, quint32 value)
{
    qToBigEndian(value, bytes.data() + at);
}

QByteArray le16(quint32 value)
{
    QByteArray bytes(2, Qt::Uninitialized);
    put16le(bytes, 0, value);
    return bytes;
}

QByteArray le32(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    put32le(bytes, 0, value);
    return bytes;
}

QByteArray be32(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    put32be(bytes, 0, value);
    return bytes;
}

} // namespace kavelora::tests
