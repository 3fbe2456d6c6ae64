// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <vector>

// ISO base media boxes, read with every field bounded by the box that holds it.
namespace kavelora::decoder::heif {

// Refuses the file as broken: raises RuntimeError InvalidPicture.
[[noreturn]] void refuse();
// Refuses the file as broken unless condition holds.
void refuseUnless(bool condition);

struct Box
{
    QByteArray type;
    // The first byte after the box's header, and the first after the box.
    qsizetype body = 0;
    qsizetype end = 0;
};

// Big-endian fields read in order within [at, end); past end, every field reads 0 and the
// reader is marked failed.
class Fields
{
public:
    Fields(const QByteArray& bytes, qsizetype at, qsizetype end);
    // The fields of a box's body.
    Fields(const QByteArray& bytes, const Box& box);

    // byteCount of 0 to 8 bytes as a number.
    quint64 take(qsizetype byteCount);
    // Four bytes as they stand, such as a box or item type.
    QByteArray takeType();
    // A full box's version; its flags go to flags.
    int takeVersion(quint32* flags = nullptr);
    // Bytes up to a NUL, which is passed over; the rest when there is none.
    QByteArray takeString();

    qsizetype position() const { return m_at; }
    qsizetype remaining() const { return m_end - m_at; }
    bool failed() const { return m_failed; }

private:
    const QByteArray& m_bytes;
    qsizetype m_at;
    qsizetype m_end;
    bool m_failed = false;
};

// The boxes in [begin, end), up to the first that does not fit; fewer than eight bytes left
// over end the list. overran, when given, says whether a box claimed more than was left.
std::vector<Box> boxesIn(const QByteArray& bytes, qsizetype begin, qsizetype end,
                         bool* overran = nullptr);

// The first box of type among boxes; null when there is none.
const Box* findBox(const std::vector<Box>& boxes, const char* type);

} // namespace kavelora::decoder::heif
