// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "hostile_entries.h"
#include "picture_fixtures.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>

namespace kavelora::hostile {

namespace {

const QSize kSeedSize(24, 16);

QImage colourful()
{
    QImage image(kSeedSize, QImage::Format_ARGB32);
    image.fill(qRgba(255, 0, 0, 255));
    QPainter painter(&image);
    painter.fillRect(12, 0, 12, 8, QColor(0, 0, 255));
    painter.fillRect(12, 8, 12, 8, QColor(0, 200, 0, 128));
    return image;
}

// An 8-bit run-length BMP: every row a run of index 0 then a run of index 1, then an end of
// row; the last row ends the picture. With skips, every other row jumps over six pixels.
QByteArray runLengthBmp(bool skips = false)
{
    QByteArray runs;
    for (int y = 0; y < kSeedSize.height(); ++y) {
        runs += QByteArray::fromHex(skips && y % 2 == 1 ? "0c00000206000601" : "0c000c01");
        runs += QByteArray::fromHex(y + 1 < kSeedSize.height() ? "0000" : "0001");
    }
    return tests::bmpFile(40, kSeedSize.width(), kSeedSize.height(), 8, 1, {},
                          QByteArray::fromHex("0000ff00ff000000"), runs);
}

// image as a 32-bit BMP with the 56-byte header: masks for red, green, blue and alpha.
QByteArray version3Bmp(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QByteArray pixels;
    for (int y = argb.height() - 1; y >= 0; --y) {
        for (int x = 0; x < argb.width(); ++x)
            pixels += le32(argb.pixel(x, y));
    }
    return tests::bmpFile(56, argb.width(), argb.height(), 32, 3,
                          {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}, {}, pixels);
}

// A 32-bit icon of image, written here because Qt's icon writer leaves some bytes of the
// file uninitialised, and the corpus must be the same on every run.
QByteArray iconFile(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const auto width = static_cast<quint32>(argb.width());
    const auto height = static_cast<quint32>(argb.height());
    const quint32 maskRowBytes = (width + 31) / 32 * 4;
    const quint32 dibBytes = 40 + width * height * 4 + maskRowBytes * height;
    QByteArray icon = le16(0) + le16(1) + le16(1);
    icon += static_cast<char>(width);
    icon += static_cast<char>(height);
    icon += QByteArray(2, '\0');
    icon += le16(1) + le16(32) + le32(dibBytes) + le32(6 + 16);
    // The picture's header gives twice the height: colour rows, then the transparency mask.
    icon += le32(40) + le32(width) + le32(height * 2) + le16(1) + le16(32) + le32(0);
    icon += le32(dibBytes - 40) + le32(0) + le32(0) + le32(0) + le32(0);
    for (int y = argb.height() - 1; y >= 0; --y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb pixel = argb.pixel(x, y);
            icon += static_cast<char>(qBlue(pixel));
            icon += static_cast<char>(qGreen(pixel));
            icon += static_cast<char>(qRed(pixel));
            icon += static_cast<char>(qAlpha(pixel));
        }
    }
    return icon + QByteArray(static_cast<qsizetype>(maskRowBytes * height), '\0');
}

// Qt writes icons only; a cursor is an icon with type 2 and a hot spot in place of the planes
// and bit count.
QByteArray cursorFrom(QByteArray icon)
{
    put16le(icon, 2, 2);
    put16le(icon, 6 + 4, 3);
    put16le(icon, 6 + 6, 4);
    return icon;
}

// HEIF, AVIF and JPEG XL seeds are made by encoders the corpus cannot count on at run time, so
// small ones are kept with the fuzzer's seeds: the same picture, some with alpha, one 10-bit and
// turned, one JPEG XL in its container.
QList<Seed> codecLibrarySeeds()
{
    QList<Seed> seeds;
    const QDir folder(QStringLiteral(KAVELORA_CODEC_SEEDS_DIR));
    for (const QString& name : folder.entryList(QDir::Files, QDir::Name)) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            qFatal("cannot read the seed %s", qPrintable(file.fileName()));
        const QString extension = name.section(u'.', -1);
        const QByteArray format = extension == u"heic" ? "heif" : extension.toLatin1();
        seeds.append({name == QStringLiteral("seed.") + extension ? extension : name, format,
                      file.readAll()});
    }
    return seeds;
}

} // namespace

QList<Seed> seedPictures()
{
    using tests::encoded;
    const QImage image = colourful();
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    const QImage mono = image.convertToFormat(QImage::Format_Mono);
    const QImage indexed = image.convertToFormat(QImage::Format_Indexed8);
    QByteArray frameA(kSeedSize.width() * kSeedSize.height(), char(0));
    QByteArray frameB(kSeedSize.width() * kSeedSize.height(), char(1));
    QByteArray stripes = frameA;
    for (qsizetype i = 0; i < stripes.size(); ++i)
        stripes[i] = static_cast<char>(i / 5 % 4);
    const QList<QRgb> palette = {qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(0, 200, 0)};
    const QByteArray icon = iconFile(image);
    QList<Seed> seeds{
        {QStringLiteral("png"), "png", encoded(image, "PNG")},
        {QStringLiteral("jpg"), "jpeg", encoded(rgb, "JPEG", 90)},
        {QStringLiteral("bmp"), "bmp", encoded(rgb, "BMP")},
        {QStringLiteral("8bit.bmp"), "bmp", encoded(indexed, "BMP")},
        {QStringLiteral("rle8.bmp"), "bmp", runLengthBmp()},
        {QStringLiteral("rle8-skips.bmp"), "bmp", runLengthBmp(true)},
        {QStringLiteral("version3.bmp"), "bmp", version3Bmp(image)},
        {QStringLiteral("ico"), "ico", icon},
        {QStringLiteral("cur"), "cur", cursorFrom(icon)},
        {QStringLiteral("gif"), "gif", tests::gifFile(kSeedSize, palette, {frameA})},
        {QStringLiteral("transparent.gif"), "gif",
         tests::gifFile(kSeedSize, palette, {stripes}, 5, 3)},
        {QStringLiteral("animated.gif"), "gif",
         tests::gifFile(kSeedSize, palette, {frameA, frameB})},
        {QStringLiteral("tif"), "tiff", encoded(image, "TIFF")},
        {QStringLiteral("webp"), "webp", encoded(image, "WEBP", 100)},
        {QStringLiteral("lossy.webp"), "webp", encoded(rgb, "WEBP", 50)},
        {QStringLiteral("pbm"), "pbm", encoded(mono, "PBM")},
        {QStringLiteral("pgm"), "pgm", encoded(grey, "PGM")},
        {QStringLiteral("ppm"), "ppm", encoded(rgb, "PPM")},
        {QStringLiteral("xbm"), "xbm", encoded(mono, "XBM")},
        {QStringLiteral("xpm"), "xpm", encoded(image, "XPM")},
    };
    return seeds + codecLibrarySeeds();
}

} // namespace kavelora::hostile
