// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/png/png_chunks.h"

#include <QBuffer>
#include <QtEndian>

#include <algorithm>
#include <cstring>

#include <zlib.h>

namespace kavelora::decoder {

namespace {

constexpr quint32 kMaxChunkLength = 0x7FFFFFFFu;
constexpr qint64 kCrcBytes = 4;
constexpr qint64 kSignatureBytes = 8;

} // namespace

bool PngChunk::is(const char (&name)[5]) const
{
    return std::memcmp(type.data(), name, 4) == 0;
}

bool PngChunk::hasLetterType() const
{
    return std::all_of(type.begin(), type.end(),
                       [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

PngChunkWalker::PngChunkWalker(QIODevice& device, qint64 fileSize)
    : m_device(device)
    , m_fileSize(fileSize)
{}

PngFault PngChunkWalker::next()
{
    m_inChunk = false;
    m_dataLeft = 0;
    char header[8];
    if (m_pastEnd || m_device.read(header, 8) != 8)
        return PngFault::TooShort;
    m_chunk.length = qFromBigEndian<quint32>(header);
    std::memcpy(m_chunk.type.data(), header + 4, 4);
    if (m_chunk.length > kMaxChunkLength)
        return PngFault::Corrupt;
    m_inChunk = true;
    m_dataLeft = m_chunk.length;
    m_crc = static_cast<quint32>(crc32(0, reinterpret_cast<const Bytef*>(header + 4), 4));
    return PngFault::None;
}

bool PngChunkWalker::fitsFile() const
{
    return m_dataLeft + kCrcBytes <= m_fileSize - m_device.pos();
}

qint64 PngChunkWalker::readData(uchar* into, qint64 maxBytes)
{
    const qint64 wanted = std::min(maxBytes, m_dataLeft);
    if (wanted <= 0)
        return 0;
    const qint64 read = m_device.read(reinterpret_cast<char*>(into), wanted);
    if (read <= 0)
        return -1;
    m_dataLeft -= read;
    m_crc = static_cast<quint32>(crc32(m_crc, into, static_cast<uInt>(read)));
    return read;
}

PngFault PngChunkWalker::finishChunk()
{
    if (!m_inChunk)
        return PngFault::None;
    uchar scratch[16 * 1024];
    while (m_dataLeft > 0) {
        if (readData(scratch, sizeof scratch) < 0)
            return PngFault::TooShort;
    }
    m_inChunk = false;
    char stored[4];
    if (m_device.read(stored, 4) != 4)
        return PngFault::TooShort;
    return qFromBigEndian<quint32>(stored) == m_crc ? PngFault::None : PngFault::WrongCrc;
}

PngFault PngChunkWalker::readWholeData(QByteArray& data)
{
    data.resize(static_cast<qsizetype>(m_dataLeft));
    if (readData(reinterpret_cast<uchar*>(data.data()), m_dataLeft) != data.size())
        return PngFault::TooShort;
    return finishChunk();
}

void PngChunkWalker::skipChunk()
{
    if (!m_inChunk)
        return;
    m_inChunk = false;
    const qint64 end = m_device.pos() + m_dataLeft + kCrcBytes;
    m_dataLeft = 0;
    // Seeking a buffer past its end is refused with a warning.
    m_pastEnd = end > m_device.size() || !m_device.seek(end);
}

qint64 PngChunkWalker::bytesLeft() const
{
    return m_device.bytesAvailable();
}

HeadCheck pngHeadCheck(const QByteArray& head, qint64 fileSize)
{
    const auto wholeOrNot = [&] {
        return head.size() < fileSize ? HeadCheck::NeedsWholeFile : HeadCheck::Passes;
    };
    QByteArray view = QByteArray::fromRawData(head.constData(), head.size());
    QBuffer buffer(&view);
    if (head.size() < kSignatureBytes || !buffer.open(QIODevice::ReadOnly) ||
        !buffer.seek(kSignatureBytes))
        return wholeOrNot();
    PngChunkWalker chunks(buffer, fileSize);
    for (PngFault fault = chunks.next(); fault != PngFault::TooShort; fault = chunks.next()) {
        // Image data is streamed through zlib, never allocated whole; a truncated file's
        // last data chunk may run past the end and decodes to defined pixels.
        if (chunks.chunk().is("IDAT"))
            return fault == PngFault::None ? HeadCheck::Passes : HeadCheck::Fails;
        if (fault != PngFault::None || !chunks.fitsFile())
            return HeadCheck::Fails;
        if (chunks.chunk().is("IEND"))
            return HeadCheck::Passes;
        chunks.skipChunk();
    }
    // Cut off inside a chunk header: the decoder fails on it without allocating.
    return wholeOrNot();
}

} // namespace kavelora::decoder
