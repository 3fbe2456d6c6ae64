// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/picture_format.h"

#include <QByteArray>

#include <array>

class QIODevice;

namespace kavelora::decoder {

// What stopped reading a PNG's chunks or its image data.
enum class PngFault { None, TooShort, Corrupt, WrongCrc, RowRefused };

// The length and type of a chunk, as its header gives them.
struct PngChunk
{
    quint32 length = 0;
    std::array<char, 4> type{};

    bool is(const char (&name)[5]) const;
    // Critical chunks name themselves in upper case first; a decoder must know them.
    bool isCritical() const { return (type[0] & 0x20) == 0; }
    // Four letters, as a chunk's type must be.
    bool hasLetterType() const;
    QByteArray typeBytes() const { return QByteArray(type.data(), 4); }
};

// Walks a PNG's chunks on device, each header, data and CRC in turn, within a file of
// fileSize bytes of which device may hold only the start. Positions are the device's own.
class PngChunkWalker
{
public:
    PngChunkWalker(QIODevice& device, qint64 fileSize);

    // Reads the next chunk's header; the chunk before must have been finished or skipped.
    // TooShort when the device has not 8 bytes left; Corrupt for a length past 2^31 - 1
    // (chunk() is filled in either way).
    PngFault next();
    const PngChunk& chunk() const { return m_chunk; }
    // Whether the chunk's data and CRC end within fileSize.
    bool fitsFile() const;
    // Bytes of the chunk's data not read yet.
    qint64 dataLeft() const { return m_dataLeft; }
    // Copies up to maxBytes of the data not read yet to into, adding them to the CRC: how
    // many, 0 at the data's end, -1 when the device ends first.
    qint64 readData(uchar* into, qint64 maxBytes);
    // Reads the rest of the data and the stored CRC: TooShort or WrongCrc, or None.
    PngFault finishChunk();
    // The whole data, once fitsFile(), with the CRC checked: TooShort or WrongCrc, or None.
    PngFault readWholeData(QByteArray& data);
    // Moves past the rest of the data and the CRC unread.
    void skipChunk();
    // Bytes the device holds past the current position.
    qint64 bytesLeft() const;

private:
    QIODevice& m_device;
    const qint64 m_fileSize;
    PngChunk m_chunk;
    qint64 m_dataLeft = 0;
    quint32 m_crc = 0;
    bool m_inChunk = false;
    // A skip went past the device's end: no chunk follows.
    bool m_pastEnd = false;
};

// Fails when a chunk other than image data claims more than the file has left, which the
// decoder would allocate before noticing. head is the start of a file of fileSize bytes; a
// head cut off inside a chunk header passes (the decoder fails there without allocating),
// and one whose chunks run past it before image data needs the whole file.
HeadCheck pngHeadCheck(const QByteArray& head, qint64 fileSize);

} // namespace kavelora::decoder
