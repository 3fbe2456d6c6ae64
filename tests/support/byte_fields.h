// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

// Fixed-width integer fields as picture formats store them, for the tests' file writers.
namespace kavelora::tests {

// Writes the low 16 or all 32 bits of value at offset at of bytes, which must have room.
void put16le(QByteArray& bytes, qsizetype at, quint32 value);
void put32le(QByteArray& bytes, qsizetype at, quint32 value);
void put16be(QByteArray& bytes, qsizetype at, quint32 value);
void put32be(QByteArray& bytes, qsizetype at, quint32 value);

// The low 16 or all 32 bits of value as bytes, little- or big-endian.
QByteArray le16(quint32 value);
QByteArray le32(quint32 value);
QByteArray be32(quint32 value);

} // namespace kavelora::tests
