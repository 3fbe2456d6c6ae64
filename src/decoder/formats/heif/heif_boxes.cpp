// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/heif/heif_boxes.h"

#include "platform/runtime_error.h"

#include <algorithm>

namespace kavelora::decoder::heif {

void refuse()
{
    throw platform::RuntimeError(platform::ErrorNumber::InvalidPicture);
}

void refuseUnless(bool condition)
{
    if (!condition)
        refuse();
}

Fields::Fields(const QByteArray& bytes, qsizetype at, qsizetype end)
    : m_bytes(bytes)
    , m_at(at)
    , m_end(std::min(end, bytes.size()))
{}

Fields::Fields(const QByteArray& bytes, const Box& box)
    : Fields(bytes, box.body, box.end)
{}

quint64 Fields::take(qsizetype byteCount)
{
    if (byteCount < 0 || byteCount > 8 || byteCount > m_end - m_at) {
        m_failed = true;
        return 0;
    }
    quint64 value = 0;
    for (qsizetype i = 0; i < byteCount; ++i)
        value = value << 8 | static_cast<uchar>(m_bytes[m_at + i]);
    m_at += byteCount;
    return value;
}

QByteArray Fields::takeType()
{
    if (m_end - m_at < 4) {
        m_failed = true;
        return {};
    }
    m_at += 4;
    return m_bytes.mid(m_at - 4, 4);
}

int Fields::takeVersion(quint32* flags)
{
    const auto versionAndFlags = static_cast<quint32>(take(4));
    if (flags)
        *flags = versionAndFlags & 0xffffff;
    return static_cast<int>(versionAndFlags >> 24);
}

QByteArray Fields::takeString()
{
    const qsizetype nul = m_bytes.indexOf('\0', m_at);
    const qsizetype stop = nul < 0 || nul >= m_end ? m_end : nul;
    const QByteArray text = m_bytes.mid(m_at, stop - m_at);
    m_at = std::min(stop + 1, m_end);
    return text;
}

std::vector<Box> boxesIn(const QByteArray& bytes, qsizetype begin, qsizetype end, bool* overran)
{
    std::vector<Box> boxes;
    end = std::min(end, bytes.size());
    if (overran)
        *overran = false;
    for (qsizetype start = begin; start + 8 <= end; start = boxes.back().end) {
        Fields fields(bytes, start, end);
        quint64 size = fields.take(4);
        const QByteArray type = fields.takeType();
        if (size == 1)
            size = fields.take(8);
        else if (size == 0)
            size = static_cast<quint64>(end - start);
        const qsizetype body = fields.position();
        if (fields.failed() || size < static_cast<quint64>(body - start) ||
            size > static_cast<quint64>(end - start)) {
            if (overran)
                *overran = true;
            break;
        }
        boxes.push_back({type, body, start + static_cast<qsizetype>(size)});
    }
    return boxes;
}

const Box* findBox(const std::vector<Box>& boxes, const char* type)
{
    const auto box = std::find_if(boxes.begin(), boxes.end(),
                                  [type](const Box& candidate) { return candidate.type == type; });
    return box == boxes.end() ? nullptr : &*box;
}

} // namespace kavelora::decoder::heif
