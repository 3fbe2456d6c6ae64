// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "hostile_entries.h"
#include "picture_fixtures.h"

#include <QtEndian>

namespace kavelora::hostile {

namespace {

QByteArray seedOf(const QList<Seed>& seeds, const QString& extension)
{
    for (const Seed& seed : seeds) {
        if (seed.extension == extension)
            return seed.bytes;
    }
    return {};
}

constexpr qsizetype kAfterPngHeader = 8 + 25;

// A chunk header claiming length bytes, followed by only a few.
QByteArray lyingChunk(quint32 length, const QByteArray& type)
{
    return be32(length) + type + QByteArray("short", 5);
}

QList<Entry> pngLies(const QByteArray& png)
{
    const auto inserted = [&](const QByteArray& chunk) {
        return png.left(kAfterPngHeader) + chunk + png.mid(kAfterPngHeader);
    };
    const QByteArray zeros(1 << 20, '\0');
    QByteArray manyChunks;
    for (int i = 0; i < 100000; ++i)
        manyChunks += tests::pngChunk("tEXt", "k" + QByteArray::number(i) + '\0' + 'v');
    QByteArray idatLie = png;
    const qsizetype idat = png.indexOf("IDAT") - 4;
    put32be(idatLie, idat, 0x40000000);
    QByteArray idatHuge = png;
    put32be(idatHuge, idat, 0xFFFFFFFF);
    QByteArray badCrc = png;
    badCrc[29] = static_cast<char>(badCrc[29] ^ 0x55);
    return {
        {QStringLiteral("png-text-chunk-claiming-2GiB.png"),
         inserted(lyingChunk(0x7FFFFFF0, "tEXt"))},
        {QStringLiteral("png-icc-chunk-claiming-4GiB.png"),
         inserted(lyingChunk(0xFFFFFFFF, "iCCP"))},
        {QStringLiteral("png-private-chunk-claiming-1GiB.png"),
         inserted(lyingChunk(0x40000000, "zzZz"))},
        {QStringLiteral("png-data-chunk-claiming-1GiB.png"), idatLie},
        {QStringLiteral("png-data-chunk-claiming-4GiB.png"), idatHuge},
        {QStringLiteral("png-compressed-text-256MiB.png"),
         inserted(tests::pngChunk("zTXt", QByteArray("Comment\0\0", 9) + zlibRows(zeros, 256)))},
        {QStringLiteral("png-icc-profile-256MiB.png"),
         inserted(tests::pngChunk("iCCP", QByteArray("icc\0\0", 5) + zlibRows(zeros, 256)))},
        {QStringLiteral("png-100000-text-chunks.png"), inserted(manyChunks)},
        {QStringLiteral("png-header-crc-wrong.png"), badCrc},
    };
}

QList<Entry> iconLies(const QByteArray& icon, const QByteArray& hugePng)
{
    constexpr qsizetype kEntry = 6;
    const auto with = [&](auto change) {
        QByteArray lie = icon;
        change(lie);
        return lie;
    };
    const auto size = static_cast<quint32>(icon.size());
    const auto dib = static_cast<qsizetype>(qFromLittleEndian<quint32>(icon.constData() + 18));
    QByteArray pngInside = icon.left(22) + hugePng;
    put32le(pngInside, kEntry + 8, static_cast<quint32>(hugePng.size()));
    return {
        {QStringLiteral("ico-offset-past-end.ico"),
         with([&](QByteArray& b) { put32le(b, kEntry + 12, size + 1000); })},
        {QStringLiteral("ico-offset-4GiB.ico"),
         with([&](QByteArray& b) { put32le(b, kEntry + 12, 0xFFFFFFFF); })},
        {QStringLiteral("ico-offset-into-directory.ico"),
         with([&](QByteArray& b) { put32le(b, kEntry + 12, 6); })},
        {QStringLiteral("ico-65535-entries.ico"),
         with([&](QByteArray& b) { put16le(b, 4, 65535); })},
        {QStringLiteral("ico-zero-entries.ico"), with([&](QByteArray& b) { put16le(b, 4, 0); })},
        {QStringLiteral("ico-size-past-end.ico"),
         with([&](QByteArray& b) { put32le(b, kEntry + 8, 0x7FFFFFFF); })},
        {QStringLiteral("ico-directory-16-picture-24.ico"), with([&](QByteArray& b) {
             b[6] = 16;
             b[7] = 16;
         })},
        {QStringLiteral("ico-height-not-doubled.ico"),
         with([&](QByteArray& b) { put32le(b, dib + 8, 16); })},
        {QStringLiteral("ico-directory-32-bit-picture-1-bit.ico"),
         with([&](QByteArray& b) { put16le(b, dib + 14, 1); })},
        {QStringLiteral("ico-header-size-4GiB.ico"),
         with([&](QByteArray& b) { put32le(b, dib, 0xFFFFFFFF); })},
        {QStringLiteral("ico-png-inside-claiming-65535.ico"), pngInside},
    };
}

QByteArray gifHeader(quint32 width, quint32 height, bool globalPalette = true)
{
    QByteArray gif("GIF89a");
    gif += le16(width) + le16(height);
    if (!globalPalette)
        return gif + QByteArray::fromHex("000000");
    return gif + QByteArray::fromHex("f10000") + QByteArray::fromHex("000000ffffffff000000ff00");
}

QByteArray gifFrame(quint32 left, quint32 top, quint32 width, quint32 height, const QByteArray& lzw)
{
    return QByteArray(1, char(0x2C)) + le16(left) + le16(top) + le16(width) + le16(height) +
           QByteArray(1, '\0') + lzw;
}

QList<Entry> gifLies()
{
    // Minimum code size 2, then clear, 0, end in one block: one pixel.
    const QByteArray onePixel = QByteArray::fromHex("02024c0100");
    QByteArray frames = gifHeader(24, 16);
    frames += QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    const QByteArray frame =
        QByteArray::fromHex("21f904040100000000") + gifFrame(0, 0, 1, 1, onePixel);
    frames += frame.repeated(100000);
    frames += ';';
    const auto single = [](const QByteArray& body) { return gifHeader(24, 16) + body + ";"; };
    return {
        {QStringLiteral("gif-100000-frames.gif"), frames},
        // Code 7 when the next free code is 6: a code the table does not hold yet.
        {QStringLiteral("gif-lzw-code-past-table.gif"),
         single(gifFrame(0, 0, 24, 16, QByteArray::fromHex("0203c4ff0f00")))},
        {QStringLiteral("gif-lzw-minimum-code-size-12.gif"),
         single(gifFrame(0, 0, 24, 16, QByteArray::fromHex("0c02ffff00")))},
        {QStringLiteral("gif-lzw-minimum-code-size-0.gif"),
         single(gifFrame(0, 0, 24, 16, QByteArray::fromHex("0002ffff00")))},
        {QStringLiteral("gif-lzw-no-clear-no-end.gif"),
         single(gifFrame(0, 0, 24, 16, QByteArray::fromHex("0202924900")))},
        {QStringLiteral("gif-lzw-block-past-end.gif"),
         gifHeader(24, 16) + gifFrame(0, 0, 24, 16, QByteArray::fromHex("02ff4c01"))},
        {QStringLiteral("gif-frame-outside-screen.gif"),
         single(gifFrame(65000, 65000, 10, 10, onePixel))},
        {QStringLiteral("gif-frame-65535-in-small-screen.gif"),
         single(gifFrame(0, 0, 65535, 65535, onePixel))},
        {QStringLiteral("gif-no-palette.gif"),
         gifHeader(24, 16, false) + gifFrame(0, 0, 1, 1, onePixel) + ";"},
        {QStringLiteral("gif-header-only.gif"), gifHeader(24, 16)},
    };
}

// A 24 x 16 BMP with bit fields: header, three masks, rows of 0x5A bytes.
QByteArray bitFieldsBmp(int bitsPerPixel, quint32 compression, quint32 red, quint32 green,
                        quint32 blue)
{
    const quint32 rowBytes = (24 * static_cast<quint32>(bitsPerPixel) + 31) / 32 * 4;
    return tests::bmpFile(40, 24, 16, static_cast<quint16>(bitsPerPixel), compression,
                          {red, green, blue}, {},
                          QByteArray(static_cast<qsizetype>(rowBytes * 16), char(0x5A)));
}

QList<Entry> bmpLies(const QByteArray& bmp, const QByteArray& indexed, const QByteArray& rle)
{
    const auto with = [](QByteArray bytes, auto change) {
        change(bytes);
        return bytes;
    };
    const auto runs = [&](const QByteArray& data) {
        QByteArray lie = rle.left(qFromLittleEndian<quint32>(rle.constData() + 10)) + data;
        put32le(lie, 2, static_cast<quint32>(lie.size()));
        return lie;
    };
    const auto size = static_cast<quint32>(bmp.size());
    return {
        {QStringLiteral("bmp-rle8-run-past-row.bmp"), runs(QByteArray::fromHex("c8000001"))},
        {QStringLiteral("bmp-rle8-jump-past-end.bmp"),
         runs(QByteArray::fromHex("0002ffff0c000001"))},
        {QStringLiteral("bmp-rle8-literal-past-data.bmp"), runs(QByteArray::fromHex("00ff0102"))},
        {QStringLiteral("bmp-rle8-no-end.bmp"), runs(QByteArray::fromHex("0c000c01"))},
        {QStringLiteral("bmp-rle8-jump-past-top.bmp"), runs(QByteArray::fromHex("00020010"))},
        {QStringLiteral("bmp-rle8-jump-cut-off.bmp"), runs(QByteArray::fromHex("0c00000201"))},
        {QStringLiteral("bmp-rle8-skips-everything.bmp"), runs(QByteArray::fromHex("0001"))},
        {QStringLiteral("bmp-rle8-30000x30000-skipped.bmp"), with(runs(QByteArray::fromHex("0001")),
                                                                  [](QByteArray& b) {
                                                                      put32le(b, 18, 30000);
                                                                      put32le(b, 22, 30000);
                                                                  })},
        {QStringLiteral("bmp-rle8-top-down.bmp"),
         with(rle, [](QByteArray& b) { put32le(b, 22, static_cast<quint32>(-16)); })},
        {QStringLiteral("bmp-rle8-height-65535.bmp"),
         with(rle, [](QByteArray& b) { put32le(b, 22, 65535); })},
        {QStringLiteral("bmp-rle4-from-8-bit-runs.bmp"), with(rle,
                                                              [](QByteArray& b) {
                                                                  put16le(b, 28, 4);
                                                                  put32le(b, 30, 2);
                                                              })},
        {QStringLiteral("bmp-rle8-on-24-bit.bmp"),
         with(rle, [](QByteArray& b) { put16le(b, 28, 24); })},
        {QStringLiteral("bmp-bitfields-zero-masks.bmp"), bitFieldsBmp(16, 3, 0, 0, 0)},
        {QStringLiteral("bmp-bitfields-overlapping.bmp"),
         bitFieldsBmp(16, 3, 0xFFFF, 0xFFFF, 0xFFFF)},
        {QStringLiteral("bmp-bitfields-all-ones-32.bmp"),
         bitFieldsBmp(32, 3, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF)},
        {QStringLiteral("bmp-bitfields-on-24-bit.bmp"),
         bitFieldsBmp(24, 3, 0xFF0000, 0xFF00, 0xFF)},
        {QStringLiteral("bmp-bitfields-holes.bmp"), bitFieldsBmp(16, 3, 0x8001, 0x0240, 0x1008)},
        {QStringLiteral("bmp-offset-past-end.bmp"),
         with(bmp, [&](QByteArray& b) { put32le(b, 10, size + 100); })},
        {QStringLiteral("bmp-offset-4GiB.bmp"),
         with(bmp, [](QByteArray& b) { put32le(b, 10, 0xFFFFFFFF); })},
        {QStringLiteral("bmp-offset-zero.bmp"),
         with(bmp, [](QByteArray& b) { put32le(b, 10, 0); })},
        {QStringLiteral("bmp-bits-0.bmp"), with(bmp, [](QByteArray& b) { put16le(b, 28, 0); })},
        {QStringLiteral("bmp-bits-7.bmp"), with(bmp, [](QByteArray& b) { put16le(b, 28, 7); })},
        {QStringLiteral("bmp-bits-64.bmp"), with(bmp, [](QByteArray& b) { put16le(b, 28, 64); })},
        {QStringLiteral("bmp-palette-4G-colours.bmp"),
         with(indexed, [](QByteArray& b) { put32le(b, 46, 0xFFFFFFFF); })},
        {QStringLiteral("bmp-header-size-4GiB.bmp"),
         with(bmp, [](QByteArray& b) { put32le(b, 14, 0xFFFFFFFF); })},
        {QStringLiteral("bmp-jpeg-inside.bmp"),
         with(bmp, [](QByteArray& b) { put32le(b, 30, 4); })},
        {QStringLiteral("bmp-png-inside.bmp"), with(bmp, [](QByteArray& b) { put32le(b, 30, 5); })},
    };
}

} // namespace

QList<Entry> containerLies(const QList<Seed>& seeds)
{
    QList<Entry> entries = pngLies(seedOf(seeds, QStringLiteral("png")));
    QByteArray hugePng = seedOf(seeds, QStringLiteral("png"));
    put32be(hugePng, 16, 65535);
    put32be(hugePng, 20, 65535);
    put32be(hugePng, 29, tests::pngCrc(hugePng.mid(12, 17)));
    entries += iconLies(seedOf(seeds, QStringLiteral("ico")), hugePng);
    entries += gifLies();
    entries +=
        bmpLies(seedOf(seeds, QStringLiteral("bmp")), seedOf(seeds, QStringLiteral("8bit.bmp")),
                seedOf(seeds, QStringLiteral("rle8.bmp")));
    return entries;
}

} // namespace kavelora::hostile
