// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "hostile_entries.h"

namespace kavelora::hostile {

namespace {

constexpr quint32 kCapSide = 8192; // 8192 x 8192 is the loader's pixel cap exactly
constexpr qint64 kPartialBytes = 16LL << 20;

enum PngColour { Grey = 0, Rgb = 2, Rgba = 6 };

// A PNG whose rows are all zero bytes (filter "none"), all of them compressed unless
// limitBytes stops the stream early.
QByteArray zeroPng(quint32 width, quint32 height, int bitDepth, PngColour colour,
                   qint64 limitBytes = -1)
{
    const int channels = colour == Grey ? 1 : colour == Rgb ? 3 : 4;
    const qint64 rowBytes = 1 + qint64{width} * channels * bitDepth / 8;
    const QByteArray row(static_cast<qsizetype>(rowBytes), '\0');
    return pngFile(width, height, bitDepth, colour, zlibRows(row, height, limitBytes));
}

// A little-endian grey TIFF of one deflate-compressed strip of zeros.
QByteArray zeroTiff(quint32 width, quint32 height, int bitsPerSample, qint64 limitBytes = -1)
{
    const QByteArray row(static_cast<qsizetype>(qint64{width} * bitsPerSample / 8), '\0');
    const QByteArray strip = zlibRows(row, height, limitBytes);
    struct Field
    {
        quint16 tag;
        quint16 type; // 3 SHORT, 4 LONG
        quint32 value;
    };
    constexpr quint32 kEntries = 9;
    constexpr quint32 kStripOffset = 8 + 2 + kEntries * 12 + 4;
    const Field fields[kEntries] = {
        {256, 4, width},
        {257, 4, height},
        {258, 3, static_cast<quint32>(bitsPerSample)},
        {259, 3, 8}, // deflate
        {262, 3, 1}, // black is zero
        {273, 4, kStripOffset},
        {277, 3, 1},
        {278, 4, height},
        {279, 4, static_cast<quint32>(strip.size())},
    };
    QByteArray tiff("II*\0", 4);
    tiff += le32(8);
    tiff += le16(kEntries);
    for (const Field& field : fields) {
        tiff += le16(field.tag) + le16(field.type) + le32(1);
        tiff += field.type == 3 ? le16(field.value) + le16(0) : le32(field.value);
    }
    tiff += le32(0);
    return tiff + strip;
}

// LZW data (minimum code size 2) for a run of pixels of index 0, as compact as LZW allows:
// each code names the string one longer than the last, until the table is full; then the
// longest string, over and over. About 2700 pixels per byte.
QByteArray lzwRunOfZeros(qint64 pixels)
{
    QByteArray packed;
    quint32 accumulator = 0;
    int bits = 0;
    int width = 3;
    const auto put = [&](quint32 code) {
        accumulator |= code << bits;
        bits += width;
        while (bits >= 8) {
            packed += static_cast<char>(accumulator & 0xFF);
            accumulator >>= 8;
            bits -= 8;
        }
    };
    put(4); // clear
    put(0);
    qint64 produced = 1;
    qint64 length = 1;
    quint32 next = 6;
    while (produced < pixels) {
        if (next < 4096) {
            put(next);
            ++length;
            ++next;
            if (next == (1u << width) && width < 12)
                ++width;
            produced += length;
        } else {
            put(4095);
            produced += length;
        }
    }
    put(5); // end of information
    if (bits > 0)
        packed += static_cast<char>(accumulator & 0xFF);
    QByteArray blocks(1, char(2));
    for (qsizetype at = 0; at < packed.size(); at += 255) {
        const QByteArray block = packed.mid(at, 255);
        blocks += static_cast<char>(block.size());
        blocks += block;
    }
    return blocks + QByteArray(1, '\0');
}

QByteArray gifWithFrame(quint32 screenWidth, quint32 screenHeight, quint32 frameWidth,
                        quint32 frameHeight, const QByteArray& lzw)
{
    QByteArray gif("GIF89a");
    gif += le16(screenWidth) + le16(screenHeight);
    gif += QByteArray::fromHex("f10000");
    gif += QByteArray::fromHex("000000ffffffff000000ff00");
    gif += char(0x2C);
    gif += le16(0) + le16(0) + le16(frameWidth) + le16(frameHeight);
    gif += char(0);
    return gif + lzw + QByteArray(1, ';');
}

} // namespace

QList<Entry> decompressionBombs()
{
    const qint64 capPixels = qint64{kCapSide} * kCapSide;
    return {
        {QStringLiteral("bomb-grey-8192x8192.png"), zeroPng(kCapSide, kCapSide, 8, Grey)},
        {QStringLiteral("bomb-rgba-8192x8192.png"), zeroPng(kCapSide, kCapSide, 8, Rgba)},
        {QStringLiteral("bomb-rgba16-8192x8192.png"),
         zeroPng(kCapSide, kCapSide, 16, Rgba, kPartialBytes)},
        {QStringLiteral("bomb-1x67108864.png"), zeroPng(1, kCapSide * kCapSide, 8, Grey)},
        {QStringLiteral("bomb-67108864x1.png"), zeroPng(kCapSide * kCapSide, 1, 8, Grey)},
        {QStringLiteral("bomb-65535x65535.png"), zeroPng(65535, 65535, 8, Rgba, kPartialBytes)},
        {QStringLiteral("bomb-grey-8192x8192.tif"), zeroTiff(kCapSide, kCapSide, 8)},
        {QStringLiteral("bomb-grey16-8192x8192.tif"), zeroTiff(kCapSide, kCapSide, 16)},
        {QStringLiteral("bomb-65535x65535.tif"), zeroTiff(65535, 65535, 8, kPartialBytes)},
        {QStringLiteral("bomb-lzw-8192x8192.gif"),
         gifWithFrame(kCapSide, kCapSide, kCapSide, kCapSide, lzwRunOfZeros(capPixels))},
        {QStringLiteral("bomb-lzw-65535x65535.gif"),
         gifWithFrame(65535, 65535, 65535, 65535, lzwRunOfZeros(capPixels))},
        {QStringLiteral("bomb-screen-8192x8192-frame-1x1.gif"),
         gifWithFrame(kCapSide, kCapSide, 1, 1, lzwRunOfZeros(1))},
        {QStringLiteral("bomb-screen-24x16-frame-8192x8192.gif"),
         gifWithFrame(24, 16, kCapSide, kCapSide, lzwRunOfZeros(capPixels))},
    };
}

Entry largestAdmittedPicture()
{
    // Colour rows rather than zeros, so that the printed page shows something to check.
    const QByteArray row = QByteArray(1, '\0') + QByteArray::fromHex("4080c0").repeated(kCapSide);
    return {QStringLiteral("largest-admitted-8192x8192.png"),
            pngFile(kCapSide, kCapSide, 8, Rgb, zlibRows(row, kCapSide))};
}

} // namespace kavelora::hostile
