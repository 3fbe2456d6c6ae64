// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "format_writers.h"

#include <QFile>
#include <QSaveFile>

#include <vector>

#include <tiffio.h>
#include <webp/encode.h>

namespace kavelora::bench {

bool writeWebp(const QString& path, int width, int height, const RowSource& rows, bool lossless)
{
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * 3 * height);
    for (int y = 0; y < height; ++y)
        rows(y, rgb.data() + static_cast<std::size_t>(y) * 3 * width);
    std::uint8_t* encoded = nullptr;
    const std::size_t size =
        lossless ? WebPEncodeLosslessRGB(rgb.data(), width, height, width * 3, &encoded)
                 : WebPEncodeRGB(rgb.data(), width, height, width * 3, 90, &encoded);
    QSaveFile file(path);
    const bool written = size > 0 && file.open(QIODevice::WriteOnly) &&
                         file.write(reinterpret_cast<const char*>(encoded),
                                    static_cast<qint64>(size)) == static_cast<qint64>(size) &&
                         file.commit();
    WebPFree(encoded);
    return written;
}

bool writeTiff(const QString& path, int width, int height, const RowSource& rows)
{
    const QString partial = path + QStringLiteral(".part");
    TIFF* tiff = TIFFOpen(QFile::encodeName(partial).constData(), "w");
    if (!tiff)
        return false;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 16);
    std::vector<std::uint8_t> line(static_cast<std::size_t>(width) * 3);
    bool written = true;
    for (int y = 0; y < height && written; ++y) {
        rows(y, line.data());
        written = TIFFWriteScanline(tiff, line.data(), static_cast<std::uint32_t>(y), 0) == 1;
    }
    TIFFClose(tiff);
    return written && QFile::rename(partial, path);
}

namespace {

// Packs LZW codes least significant bit first into the GIF's sub-blocks of up to 255 bytes.
class CodeWriter
{
public:
    explicit CodeWriter(QByteArray& out)
        : m_out(out)
    {}

    void put(int code, int bits)
    {
        m_bits |= static_cast<std::uint32_t>(code) << m_count;
        m_count += bits;
        while (m_count >= 8) {
            byte(static_cast<char>(m_bits & 0xFF));
            m_bits >>= 8;
            m_count -= 8;
        }
    }

    void finish()
    {
        if (m_count > 0)
            byte(static_cast<char>(m_bits & 0xFF));
        if (!m_block.isEmpty())
            flushBlock();
        m_out += '\0';
    }

private:
    void byte(char value)
    {
        m_block += value;
        if (m_block.size() == 255)
            flushBlock();
    }

    void flushBlock()
    {
        m_out += static_cast<char>(m_block.size());
        m_out += m_block;
        m_block.clear();
    }

    QByteArray& m_out;
    QByteArray m_block;
    std::uint32_t m_bits = 0;
    int m_count = 0;
};

void lzwCompress(const std::vector<std::uint8_t>& indices, QByteArray& out)
{
    constexpr int kClear = 256;
    constexpr int kEnd = 257;
    // Each (prefix code, next index) pair's code, valid where its stamp is the current table's.
    std::vector<std::uint16_t> codes(4096 * 256);
    std::vector<std::uint32_t> stamps(4096 * 256, 0);
    std::uint32_t table = 1;
    int next = 258;
    int bits = 9;
    CodeWriter writer(out);
    writer.put(kClear, bits);
    int prefix = indices.empty() ? 0 : indices[0];
    for (std::size_t i = 1; i < indices.size(); ++i) {
        const std::size_t key = static_cast<std::size_t>(prefix) * 256 + indices[i];
        if (stamps[key] == table) {
            prefix = codes[key];
            continue;
        }
        writer.put(prefix, bits);
        if (next == 4096) {
            writer.put(kClear, bits);
            ++table;
            next = 258;
            bits = 9;
        } else {
            stamps[key] = table;
            codes[key] = static_cast<std::uint16_t>(next);
            if (next == (1 << bits) && bits < 12)
                ++bits;
            ++next;
        }
        prefix = indices[i];
    }
    writer.put(prefix, bits);
    writer.put(kEnd, bits);
    writer.finish();
}

} // namespace

bool writeGif(const QString& path, int width, int height, const RowSource& rows)
{
    constexpr int kLevels[3] = {6, 7, 6};
    static constexpr int kBayer[4][4] = {
        {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    QByteArray out("GIF89a");
    const auto le16 = [&out](int value) {
        out += static_cast<char>(value & 0xFF);
        out += static_cast<char>(value >> 8);
    };
    le16(width);
    le16(height);
    out += '\xF7'; // a global table of 256 colours
    out += '\0';
    out += '\0';
    for (int i = 0; i < 256; ++i) {
        const int channel[3] = {i / 42 % 6, i / 6 % 7, i % 6};
        for (int c = 0; c < 3; ++c)
            out += static_cast<char>(i < 252 ? channel[c] * 255 / (kLevels[c] - 1) : 0);
    }
    out += ',';
    le16(0);
    le16(0);
    le16(width);
    le16(height);
    out += '\0';
    out += '\x08';
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(width) * height);
    std::vector<std::uint8_t> line(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        rows(y, line.data());
        for (int x = 0; x < width; ++x) {
            int level[3];
            for (int c = 0; c < 3; ++c) {
                const int steps = kLevels[c] - 1;
                const int scaled = line[3 * x + c] * steps * 16 + kBayer[y % 4][x % 4] * 255;
                level[c] = std::min(steps, scaled / (255 * 16));
            }
            indices[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint8_t>(level[0] * 42 + level[1] * 6 + level[2]);
        }
    }
    lzwCompress(indices, out);
    out += ';';
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size() && file.commit();
}

} // namespace kavelora::bench
