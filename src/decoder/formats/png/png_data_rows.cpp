// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/png/png_data_rows.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <zlib.h>

namespace kavelora::decoder {

namespace {

// A band is up to 16 rows, fewer where rows are long: the ring stays within about 1 MiB.
constexpr int kMaxBandRows = 16;
constexpr std::size_t kBandBytes = 256 * 1024;
// The consumer holds two bands (the one it works on and the one above its first row); the
// producer fills the rest.
constexpr int kBandSlots = 4;
constexpr qint64 kReadBlockBytes = 64 * 1024;

// Reads consecutive IDAT chunks and inflates them on its own thread.
class DataInflater
{
public:
    DataInflater(QIODevice& device, std::size_t rowBytes, int rowCount)
        : m_device(device)
        , m_rowBytes(rowBytes)
        , m_rowCount(rowCount)
        , m_bandRows(
              static_cast<int>(std::clamp<std::size_t>(kBandBytes / rowBytes, 1, kMaxBandRows)))
        , m_bandCount((rowCount + m_bandRows - 1) / m_bandRows)
        , m_ring(rowBytes * static_cast<std::size_t>(m_bandRows * kBandSlots))
    {}

    ~DataInflater()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_cancelled = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        if (m_zlibStarted)
            inflateEnd(&m_zlib);
    }

    DataInflater(const DataInflater&) = delete;
    DataInflater& operator=(const DataInflater&) = delete;

    PngDataFault start()
    {
        // Raw deflate: the stream's header and checksum are read here, and the checksum is
        // computed by the caller over the rows, on the thread that has time to spare.
        if (inflateInit2(&m_zlib, -MAX_WBITS) != Z_OK)
            return PngDataFault::Corrupt;
        m_zlibStarted = true;
        try {
            m_thread = std::thread([this] { produce(); });
        } catch (const std::system_error&) {
            // Without a second thread each band is inflated when it is asked for.
        }
        return PngDataFault::None;
    }

    int bandCount() const { return m_bandCount; }

    // Whether the stream's stored checksum is that of the rows, whose checksum is given, and
    // of whatever it inflates to past them. Known once waitFor(bandCount()) has passed.
    bool checksumMatches(uLong rowsChecksum) const
    {
        return adler32_combine(rowsChecksum, m_pastRowsChecksum, m_pastRowsBytes) ==
               m_storedChecksum;
    }

    int rowsIn(int band) const { return std::min(m_bandRows, m_rowCount - band * m_bandRows); }

    uchar* bandData(int band)
    {
        return m_ring.data() +
               static_cast<std::size_t>(band % kBandSlots * m_bandRows) * m_rowBytes;
    }

    // Waits for band, or with bandCount() for the checks after the last row; the fault that
    // stopped the producer before it, or None.
    PngDataFault waitFor(int band)
    {
        if (!m_thread.joinable() && band == m_bandCount)
            return finishData();
        if (!m_thread.joinable())
            return fill(bandData(band), m_rowBytes * static_cast<std::size_t>(rowsIn(band)));
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_produced > band || m_fault != PngDataFault::None; });
        return m_produced > band ? PngDataFault::None : m_fault;
    }

    // Lets the producer reuse every band before band.
    void release(int band)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_releasedBefore = band;
        }
        m_changed.notify_all();
    }

private:
    void produce()
    {
        for (int band = 0; band < m_bandCount; ++band) {
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock,
                               [&] { return m_cancelled || band - m_releasedBefore < kBandSlots; });
                if (m_cancelled)
                    return;
            }
            const PngDataFault fault =
                fill(bandData(band), m_rowBytes * static_cast<std::size_t>(rowsIn(band)));
            {
                const std::lock_guard lock(m_mutex);
                if (fault == PngDataFault::None)
                    m_produced = band + 1;
                else
                    m_fault = fault;
            }
            m_changed.notify_all();
            if (fault != PngDataFault::None)
                return;
        }
        const PngDataFault fault = finishData();
        {
            const std::lock_guard lock(m_mutex);
            if (fault == PngDataFault::None)
                m_produced = m_bandCount + 1;
            else
                m_fault = fault;
        }
        m_changed.notify_all();
    }

    // Qt's reader refuses a PNG whose zlib stream or chunks stop short after the last row, or
    // whose checksums there are wrong; compressed data past the stream's end it ignores.
    PngDataFault finishData()
    {
        std::array<uchar, 4096> scratch{};
        while (!m_streamEnded) {
            if (m_zlib.avail_in == 0) {
                if (const PngDataFault fault = readMore(); fault != PngDataFault::None)
                    return fault;
                continue;
            }
            m_zlib.next_out = scratch.data();
            m_zlib.avail_out = static_cast<uInt>(scratch.size());
            const int result = inflate(&m_zlib, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END)
                return PngDataFault::Corrupt;
            const auto inflated = static_cast<uInt>(scratch.size() - m_zlib.avail_out);
            m_pastRowsChecksum = adler32(m_pastRowsChecksum, scratch.data(), inflated);
            m_pastRowsBytes += inflated;
            if (result == Z_STREAM_END) {
                if (const PngDataFault fault = readStoredChecksum(); fault != PngDataFault::None)
                    return fault;
            }
        }
        if (m_inChunk) {
            if (const PngDataFault fault = skipRest(m_chunkLeft, m_crc);
                fault != PngDataFault::None)
                return fault;
        }
        return readChunksToEnd();
    }

    // Reads left bytes of the current chunk into crc, then checks its CRC.
    PngDataFault skipRest(qint64 left, quint32 crc)
    {
        m_input.resize(static_cast<std::size_t>(kReadBlockBytes));
        while (left > 0) {
            const qint64 read = m_device.read(reinterpret_cast<char*>(m_input.data()),
                                              std::min(kReadBlockBytes, left));
            if (read <= 0)
                return PngDataFault::TooShort;
            crc = static_cast<quint32>(crc32(crc, m_input.data(), static_cast<uInt>(read)));
            left -= read;
        }
        char stored[4];
        if (m_device.read(stored, 4) != 4)
            return PngDataFault::TooShort;
        return qFromBigEndian<quint32>(stored) == crc ? PngDataFault::None : PngDataFault::WrongCrc;
    }

    PngDataFault readChunksToEnd()
    {
        for (;;) {
            char header[8];
            if (m_device.read(header, 8) != 8)
                return PngDataFault::TooShort;
            const auto length = qFromBigEndian<quint32>(header);
            if (length > 0x7FFFFFFFu)
                return PngDataFault::Corrupt;
            if (!isPngChunkType(header + 4))
                return PngDataFault::Corrupt;
            const bool critical = (header[4] & 0x20) == 0;
            // Qt's reader stands in the end chunk's CRC when the file stops in it.
            const bool end = std::memcmp(header + 4, "IEND", 4) == 0;
            if (end && length == 0 && m_device.bytesAvailable() < 4)
                return PngDataFault::None;
            const auto typeCrc =
                static_cast<quint32>(crc32(0, reinterpret_cast<const Bytef*>(header + 4), 4));
            const PngDataFault fault = skipRest(length, typeCrc);
            if (fault == PngDataFault::TooShort || (critical && fault != PngDataFault::None))
                return fault;
            if (end)
                return PngDataFault::None;
            if (critical && std::memcmp(header + 4, "IDAT", 4) != 0)
                return PngDataFault::Corrupt;
        }
    }

    PngDataFault fill(uchar* out, std::size_t bytes)
    {
        if (!m_headerRead) {
            if (const PngDataFault fault = readStreamHeader(); fault != PngDataFault::None)
                return fault;
        }
        m_zlib.next_out = out;
        m_zlib.avail_out = static_cast<uInt>(bytes);
        while (m_zlib.avail_out > 0) {
            if (m_zlib.avail_in == 0) {
                if (const PngDataFault fault = readMore(); fault != PngDataFault::None)
                    return fault;
                continue;
            }
            const int result = inflate(&m_zlib, Z_NO_FLUSH);
            if (result == Z_STREAM_END && m_zlib.avail_out > 0)
                return PngDataFault::TooShort;
            if (result != Z_OK && result != Z_STREAM_END)
                return PngDataFault::Corrupt;
            if (result == Z_STREAM_END)
                return readStoredChecksum();
        }
        return PngDataFault::None;
    }

    // The two bytes before the compressed data, checked as zlib checks them.
    PngDataFault readStreamHeader()
    {
        uchar header[2];
        if (const PngDataFault fault = takeStreamBytes(header, 2); fault != PngDataFault::None)
            return fault;
        m_headerRead = true;
        const bool deflate = (header[0] & 0x0F) == Z_DEFLATED;
        const bool windowFits = (header[0] >> 4) + 8 <= MAX_WBITS;
        const bool checkBitsRight = (header[0] * 256 + header[1]) % 31 == 0;
        const bool presetDictionary = (header[1] & 0x20) != 0;
        return deflate && windowFits && checkBitsRight && !presetDictionary ? PngDataFault::None
                                                                            : PngDataFault::Corrupt;
    }

    PngDataFault readStoredChecksum()
    {
        m_streamEnded = true;
        uchar stored[4];
        if (const PngDataFault fault = takeStreamBytes(stored, 4); fault != PngDataFault::None)
            return fault;
        m_storedChecksum = qFromBigEndian<quint32>(stored);
        return PngDataFault::None;
    }

    // Takes count bytes of the stream that zlib does not read in raw mode.
    PngDataFault takeStreamBytes(uchar* into, int count)
    {
        while (count > 0) {
            if (m_zlib.avail_in == 0) {
                if (const PngDataFault fault = readMore(); fault != PngDataFault::None)
                    return fault;
                continue;
            }
            *into++ = *m_zlib.next_in++;
            --m_zlib.avail_in;
            --count;
        }
        return PngDataFault::None;
    }

    // Reads the next block of the current chunk, or the next chunk's header; past the last
    // IDAT chunk the data has ended early.
    PngDataFault readMore()
    {
        if (m_chunkLeft == 0) {
            if (m_inChunk) {
                char stored[4];
                if (m_device.read(stored, 4) != 4)
                    return PngDataFault::TooShort;
                if (qFromBigEndian<quint32>(stored) != m_crc)
                    return PngDataFault::WrongCrc;
                m_inChunk = false;
            }
            char header[8];
            if (m_device.read(header, 8) != 8)
                return PngDataFault::TooShort;
            if (std::memcmp(header + 4, "IDAT", 4) != 0)
                return PngDataFault::TooShort;
            const auto length = qFromBigEndian<quint32>(header);
            if (length > 0x7FFFFFFFu)
                return PngDataFault::Corrupt;
            m_chunkLeft = length;
            m_inChunk = true;
            m_crc = static_cast<quint32>(crc32(0, reinterpret_cast<const Bytef*>(header + 4), 4));
            return PngDataFault::None;
        }
        m_input.resize(static_cast<std::size_t>(kReadBlockBytes));
        const qint64 wanted = std::min<qint64>(kReadBlockBytes, m_chunkLeft);
        const qint64 read = m_device.read(reinterpret_cast<char*>(m_input.data()), wanted);
        if (read <= 0)
            return PngDataFault::TooShort;
        m_chunkLeft -= read;
        m_crc = static_cast<quint32>(crc32(m_crc, m_input.data(), static_cast<uInt>(read)));
        m_zlib.next_in = m_input.data();
        m_zlib.avail_in = static_cast<uInt>(read);
        return PngDataFault::None;
    }

    QIODevice& m_device;
    const std::size_t m_rowBytes;
    const int m_rowCount;
    const int m_bandRows;
    const int m_bandCount;
    std::vector<uchar> m_ring;
    std::vector<uchar> m_input;
    z_stream m_zlib{};
    bool m_zlibStarted = false;
    qint64 m_chunkLeft = 0;
    bool m_inChunk = false;
    bool m_headerRead = false;
    bool m_streamEnded = false;
    quint32 m_storedChecksum = 0;
    uLong m_pastRowsChecksum = adler32(0, nullptr, 0);
    z_off_t m_pastRowsBytes = 0;
    quint32 m_crc = 0;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_produced = 0;
    int m_releasedBefore = 0;
    bool m_cancelled = false;
    PngDataFault m_fault = PngDataFault::None;
    std::thread m_thread;
};

} // namespace

bool isPngChunkType(const char* type)
{
    return std::all_of(type, type + 4,
                       [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

PngDataFault inflatePngRows(QIODevice& device, std::size_t rowBytes, int rowCount,
                            const std::function<bool(uchar* row, uchar* previous)>& takeRow)
{
    DataInflater inflater(device, rowBytes, rowCount);
    if (const PngDataFault fault = inflater.start(); fault != PngDataFault::None)
        return fault;
    std::vector<uchar> zeros(rowBytes, 0);
    uchar* previous = zeros.data();
    uLong checksum = adler32(0, nullptr, 0);
    for (int band = 0; band < inflater.bandCount(); ++band) {
        if (const PngDataFault fault = inflater.waitFor(band); fault != PngDataFault::None)
            return fault;
        uchar* row = inflater.bandData(band);
        for (int i = 0; i < inflater.rowsIn(band); ++i, row += rowBytes) {
            checksum = adler32(checksum, row, static_cast<uInt>(rowBytes));
            if (!takeRow(row, previous))
                return PngDataFault::RowRefused;
            previous = row;
        }
        // The last row of this band is the one above the next band's first.
        inflater.release(band);
    }
    if (const PngDataFault fault = inflater.waitFor(inflater.bandCount());
        fault != PngDataFault::None)
        return fault;
    return inflater.checksumMatches(checksum) ? PngDataFault::None : PngDataFault::Corrupt;
}

} // namespace kavelora::decoder
