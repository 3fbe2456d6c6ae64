// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/png/png_data_rows.h"

#include "decoder/common/row_ring.h"

#include <QtEndian>

#include <array>
#include <vector>

#include <zlib.h>

namespace kavelora::decoder {

namespace {

constexpr qint64 kReadBlockBytes = 64 * 1024;

// The zlib stream spread over consecutive IDAT chunks, inflated into the rows asked for. The
// first fault met is kept for the caller.
class DataInflater
{
public:
    explicit DataInflater(PngChunkWalker& chunks)
        : m_chunks(chunks)
    {}

    ~DataInflater()
    {
        if (m_zlibStarted)
            inflateEnd(&m_zlib);
    }

    DataInflater(const DataInflater&) = delete;
    DataInflater& operator=(const DataInflater&) = delete;

    bool start()
    {
        // Raw deflate: the stream's header and checksum are read here, and the checksum is
        // computed by the caller over the rows, on the thread that has time to spare.
        m_zlibStarted = inflateInit2(&m_zlib, -MAX_WBITS) == Z_OK;
        return keep(m_zlibStarted ? PngFault::None : PngFault::Corrupt);
    }

    PngFault fault() const { return m_fault; }

    // Whether the stream's stored checksum is that of the rows, whose checksum is given, and
    // of whatever it inflates to past them. Known once finishData() has passed.
    bool checksumMatches(uLong rowsChecksum) const
    {
        return adler32_combine(rowsChecksum, m_pastRowsChecksum, m_pastRowsBytes) ==
               m_storedChecksum;
    }

    bool fill(uchar* out, std::size_t bytes) { return keep(inflateInto(out, bytes)); }

    // Qt's reader refuses a PNG whose zlib stream or chunks stop short after the last row, or
    // whose checksums there are wrong; compressed data past the stream's end it ignores.
    bool finishData() { return keep(inflateToEnd()); }

private:
    bool keep(PngFault fault)
    {
        if (m_fault == PngFault::None)
            m_fault = fault;
        return fault == PngFault::None;
    }

    PngFault inflateToEnd()
    {
        std::array<uchar, 4096> scratch{};
        while (!m_streamEnded) {
            if (m_zlib.avail_in == 0) {
                if (const PngFault fault = readMore(); fault != PngFault::None)
                    return fault;
                continue;
            }
            m_zlib.next_out = scratch.data();
            m_zlib.avail_out = static_cast<uInt>(scratch.size());
            const int result = inflate(&m_zlib, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END)
                return PngFault::Corrupt;
            const auto inflated = static_cast<uInt>(scratch.size() - m_zlib.avail_out);
            m_pastRowsChecksum = adler32(m_pastRowsChecksum, scratch.data(), inflated);
            m_pastRowsBytes += inflated;
            if (result == Z_STREAM_END) {
                if (const PngFault fault = readStoredChecksum(); fault != PngFault::None)
                    return fault;
            }
        }
        if (const PngFault fault = m_chunks.finishChunk(); fault != PngFault::None)
            return fault;
        return readChunksToEnd();
    }

    PngFault readChunksToEnd()
    {
        for (;;) {
            if (const PngFault fault = m_chunks.next(); fault != PngFault::None)
                return fault;
            const PngChunk& chunk = m_chunks.chunk();
            if (!chunk.hasLetterType())
                return PngFault::Corrupt;
            const bool critical = chunk.isCritical();
            // Qt's reader stands in the end chunk's CRC when the file stops in it.
            const bool end = chunk.is("IEND");
            if (end && chunk.length == 0 && m_chunks.bytesLeft() < 4)
                return PngFault::None;
            const PngFault fault = m_chunks.finishChunk();
            if (fault == PngFault::TooShort || (critical && fault != PngFault::None))
                return fault;
            if (end)
                return PngFault::None;
            if (critical && !chunk.is("IDAT"))
                return PngFault::Corrupt;
        }
    }

    PngFault inflateInto(uchar* out, std::size_t bytes)
    {
        if (!m_headerRead) {
            if (const PngFault fault = readStreamHeader(); fault != PngFault::None)
                return fault;
        }
        m_zlib.next_out = out;
        m_zlib.avail_out = static_cast<uInt>(bytes);
        while (m_zlib.avail_out > 0) {
            if (m_zlib.avail_in == 0) {
                if (const PngFault fault = readMore(); fault != PngFault::None)
                    return fault;
                continue;
            }
            const int result = inflate(&m_zlib, Z_NO_FLUSH);
            if (result == Z_STREAM_END && m_zlib.avail_out > 0)
                return PngFault::TooShort;
            if (result != Z_OK && result != Z_STREAM_END)
                return PngFault::Corrupt;
            if (result == Z_STREAM_END)
                return readStoredChecksum();
        }
        return PngFault::None;
    }

    // The two bytes before the compressed data, checked as zlib checks them.
    PngFault readStreamHeader()
    {
        uchar header[2];
        if (const PngFault fault = takeStreamBytes(header, 2); fault != PngFault::None)
            return fault;
        m_headerRead = true;
        const bool deflate = (header[0] & 0x0F) == Z_DEFLATED;
        const bool windowFits = (header[0] >> 4) + 8 <= MAX_WBITS;
        const bool checkBitsRight = (header[0] * 256 + header[1]) % 31 == 0;
        const bool presetDictionary = (header[1] & 0x20) != 0;
        return deflate && windowFits && checkBitsRight && !presetDictionary ? PngFault::None
                                                                            : PngFault::Corrupt;
    }

    PngFault readStoredChecksum()
    {
        m_streamEnded = true;
        uchar stored[4];
        if (const PngFault fault = takeStreamBytes(stored, 4); fault != PngFault::None)
            return fault;
        m_storedChecksum = qFromBigEndian<quint32>(stored);
        return PngFault::None;
    }

    // Takes count bytes of the stream that zlib does not read in raw mode.
    PngFault takeStreamBytes(uchar* into, int count)
    {
        while (count > 0) {
            if (m_zlib.avail_in == 0) {
                if (const PngFault fault = readMore(); fault != PngFault::None)
                    return fault;
                continue;
            }
            *into++ = *m_zlib.next_in++;
            --m_zlib.avail_in;
            --count;
        }
        return PngFault::None;
    }

    // Reads the next block of the current chunk, or moves to the next chunk; past the last
    // IDAT chunk the data has ended early.
    PngFault readMore()
    {
        if (m_chunks.dataLeft() == 0) {
            if (const PngFault fault = m_chunks.finishChunk(); fault != PngFault::None)
                return fault;
            if (const PngFault fault = m_chunks.next(); fault != PngFault::None)
                return fault;
            return m_chunks.chunk().is("IDAT") ? PngFault::None : PngFault::TooShort;
        }
        m_input.resize(static_cast<std::size_t>(kReadBlockBytes));
        const qint64 read = m_chunks.readData(m_input.data(), kReadBlockBytes);
        if (read <= 0)
            return PngFault::TooShort;
        m_zlib.next_in = m_input.data();
        m_zlib.avail_in = static_cast<uInt>(read);
        return PngFault::None;
    }

    PngChunkWalker& m_chunks;
    std::vector<uchar> m_input;
    z_stream m_zlib{};
    bool m_zlibStarted = false;
    bool m_headerRead = false;
    bool m_streamEnded = false;
    quint32 m_storedChecksum = 0;
    uLong m_pastRowsChecksum = adler32(0, nullptr, 0);
    z_off_t m_pastRowsBytes = 0;
    PngFault m_fault = PngFault::None;
};

} // namespace

PngFault inflatePngRows(PngChunkWalker& chunks, std::size_t rowBytes, int rowCount,
                        const std::function<bool(uchar* row, uchar* previous)>& takeRow)
{
    DataInflater inflater(chunks);
    if (!inflater.start())
        return inflater.fault();
    // Declared after the inflater, so that its producer stops before the inflater goes.
    RowRing ring(
        rowBytes, rowCount,
        [&](uchar* rows, int count) {
            return inflater.fill(rows, rowBytes * static_cast<std::size_t>(count));
        },
        [&] { return inflater.finishData(); });
    std::vector<uchar> zeros(rowBytes, 0);
    uchar* previous = zeros.data();
    uLong checksum = adler32(0, nullptr, 0);
    for (int y = 0; y < rowCount; ++y) {
        uchar* row = ring.row(y);
        if (!row)
            return inflater.fault();
        checksum = adler32(checksum, row, static_cast<uInt>(rowBytes));
        if (!takeRow(row, previous))
            return PngFault::RowRefused;
        previous = row;
    }
    if (!ring.finished())
        return inflater.fault();
    return inflater.checksumMatches(checksum) ? PngFault::None : PngFault::Corrupt;
}

} // namespace kavelora::decoder
