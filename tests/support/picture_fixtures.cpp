// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture_fixtures.h"
#include "byte_fields.h"
#include "seeded_random.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace kavelora::tests {

namespace {

// LZW codes of three bits, least significant bit first. A clear code before every pair of
// pixels keeps the code table from growing, so no compression is needed.
QByteArray lzwData(const QByteArray& indices)
{
    constexpr unsigned kClear = 4;
    constexpr unsigned kEnd = 5;
    QByteArray packed;
    unsigned accumulator = 0;
    int bits = 0;
    auto put = [&](unsigned code) {
        accumulator |= code << bits;
        bits += 3;
        while (bits >= 8) {
            packed.append(static_cast<char>(accumulator & 0xFF));
            accumulator >>= 8;
            bits -= 8;
        }
    };
    for (qsizetype i = 0; i < indices.size(); ++i) {
        if (i % 2 == 0)
            put(kClear);
        put(static_cast<unsigned char>(indices[i]) & 3u);
    }
    put(kEnd);
    if (bits > 0)
        packed.append(static_cast<char>(accumulator & 0xFF));

    QByteArray blocks;
    blocks.append(char(2)); // minimum code size
    for (qsizetype at = 0; at < packed.size(); at += 255) {
        const QByteArray block = packed.mid(at, 255);
        blocks.append(static_cast<char>(block.size()));
        blocks.append(block);
    }
    blocks.append(char(0));
    return blocks;
}

} // namespace

QByteArray gifFile(QSize size, const QList<QRgb>& palette, const QList<QByteArray>& frames,
                   int delayCentiseconds, int transparentIndex)
{
    QByteArray gif("GIF89a");
    gif += le16(static_cast<quint32>(size.width()));
    gif += le16(static_cast<quint32>(size.height()));
    gif.append(static_cast<char>(0xF1)); // global table of four colours
    gif.append(char(0));
    gif.append(char(0));
    for (int i = 0; i < 4; ++i) {
        const QRgb colour = i < palette.size() ? palette[i] : qRgb(0, 0, 0);
        gif.append(static_cast<char>(qRed(colour)));
        gif.append(static_cast<char>(qGreen(colour)));
        gif.append(static_cast<char>(qBlue(colour)));
    }
    if (frames.size() > 1)
        gif.append(QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19));
    for (const QByteArray& frame : frames) {
        gif.append(QByteArray("\x21\xF9\x04", 3));
        gif.append(static_cast<char>((1 << 2) | (transparentIndex >= 0 ? 1 : 0)));
        gif += le16(static_cast<quint32>(delayCentiseconds));
        gif.append(static_cast<char>(transparentIndex >= 0 ? transparentIndex : 0));
        gif.append(char(0));
        gif.append(char(0x2C));
        gif += le16(0);
        gif += le16(0);
        gif += le16(static_cast<quint32>(size.width()));
        gif += le16(static_cast<quint32>(size.height()));
        gif.append(char(0));
        gif.append(lzwData(frame));
    }
    gif.append(char(0x3B));
    return gif;
}

QImage quadrants()
{
    using namespace colour;
    QImage image(64, 48, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, 32, 24, QColor(kRed));
    painter.fillRect(32, 0, 32, 24, QColor(kGreen));
    painter.fillRect(0, 24, 32, 24, QColor(kBlue));
    painter.fillRect(32, 24, 32, 24, QColor(kWhite));
    return image;
}

QByteArray encoded(const QImage& image, const char* format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, quality))
        return {};
    return bytes;
}

QByteArray encodedProgressive(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.setQuality(quality);
    if (!writer.write(image))
        return {};
    return bytes;
}

QByteArray claimingSide(QByteArray jpeg, const char* frameMarker, int side)
{
    const qsizetype frame = jpeg.indexOf(frameMarker);
    if (frame < 0)
        return {};
    const char sideBytes[] = {static_cast<char>(side >> 8), static_cast<char>(side & 0xFF)};
    jpeg.replace(frame + 5, 2, sideBytes, 2);
    jpeg.replace(frame + 7, 2, sideBytes, 2);
    return jpeg;
}

QByteArray withExifOrientation(const QByteArray& jpeg, int orientation)
{
    // A big-endian TIFF header with one entry: tag 0x0112 (orientation), type SHORT, count 1.
    QByteArray tiff = QByteArray::fromHex("4d4d002a00000008000101120003000000010000000000000000");
    tiff[19] = static_cast<char>(orientation);
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xFF\xE1", 2);
    segment.append(static_cast<char>((payload.size() + 2) >> 8));
    segment.append(static_cast<char>((payload.size() + 2) & 0xFF));
    segment.append(payload);
    return jpeg.left(2) + segment + jpeg.mid(2);
}

quint32 pngCrc(const QByteArray& typeAndData)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char byte : typeAndData) {
        crc ^= static_cast<unsigned char>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data)
{
    QByteArray chunk;
    chunk += be32(static_cast<quint32>(data.size()));
    chunk.append(type);
    chunk.append(data);
    chunk += be32(pngCrc(type + data));
    return chunk;
}

QImage twoHalves(QSize size, QRgb left, QRgb right, QImage::Format format)
{
    QImage image(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, x < size.width() / 2 ? left : right);
    }
    return image.convertToFormat(format);
}

QImage noisePicture(QSize size, std::uint64_t seed)
{
    SeededRandom random(seed);
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = 0xFF000000u | (random.next() & 0xFFFFFFu);
    }
    return image;
}

QImage exactAreaAverage(const QImage& image, int factor)
{
    const QImage source = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage averaged((image.width() + factor - 1) / factor, (image.height() + factor - 1) / factor,
                    QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < averaged.height(); ++y) {
        for (int x = 0; x < averaged.width(); ++x) {
            std::array<double, 4> sums{};
            int count = 0;
            for (int v = y * factor; v < std::min(image.height(), (y + 1) * factor); ++v) {
                for (int u = x * factor; u < std::min(image.width(), (x + 1) * factor); ++u) {
                    const QRgb pixel = source.pixel(u, v);
                    sums[0] += qRed(pixel);
                    sums[1] += qGreen(pixel);
                    sums[2] += qBlue(pixel);
                    sums[3] += qAlpha(pixel);
                    ++count;
                }
            }
            averaged.setPixel(x, y,
                              qRgba(qRound(sums[0] / count), qRound(sums[1] / count),
                                    qRound(sums[2] / count), qRound(sums[3] / count)));
        }
    }
    return averaged;
}

int largestChannelDifference(const QImage& actual, const QImage& expected, QImage::Format format)
{
    if (actual.size() != expected.size())
        return -1;
    const QImage a = actual.convertToFormat(format);
    const QImage b = expected.convertToFormat(format);
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* left = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* right = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            largest = std::max({largest, qAbs(qRed(left[x]) - qRed(right[x])),
                                qAbs(qGreen(left[x]) - qGreen(right[x])),
                                qAbs(qBlue(left[x]) - qBlue(right[x])),
                                qAbs(qAlpha(left[x]) - qAlpha(right[x]))});
    }
    return largest;
}

double psnr(const QImage& actual, const QImage& expected)
{
    const QImage a = actual.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage b = expected.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    double squares = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            for (int shift : {0, 8, 16, 24}) {
                const int difference = int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF);
                squares += difference * difference;
            }
        }
    }
    const double meanSquare = squares / (4.0 * a.width() * a.height());
    return meanSquare == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / meanSquare);
}

bool colourNear(QRgb actual, QRgb expected, int tolerance)
{
    return std::abs(qRed(actual) - qRed(expected)) <= tolerance &&
           std::abs(qGreen(actual) - qGreen(expected)) <= tolerance &&
           std::abs(qBlue(actual) - qBlue(expected)) <= tolerance;
}

QByteArray bmpFile(quint32 headerBytes, qint32 width, qint32 height, quint16 bitsPerPixel,
                   quint32 compression, const QList<quint32>& masks, const QByteArray& palette,
                   const QByteArray& pixels)
{
    QByteArray header = le32(headerBytes) + le32(static_cast<quint32>(width)) +
                        le32(static_cast<quint32>(height)) + le16(1) + le16(bitsPerPixel) +
                        le32(compression) + le32(static_cast<quint32>(pixels.size())) + le32(2835) +
                        le32(2835) + le32(static_cast<quint32>(palette.size() / 4)) + le32(0);
    for (quint32 mask : masks)
        header += le32(mask);
    if (header.size() < headerBytes)
        header.append(QByteArray(headerBytes - header.size(), '\0'));
    const auto offset = static_cast<quint32>(14 + header.size() + palette.size());
    return "BM" + le32(offset + static_cast<quint32>(pixels.size())) + le32(0) + le32(offset) +
           header + palette + pixels;
}

QByteArray withIspeClaim(QByteArray isoMedia, quint32 width, quint32 height)
{
    // The box type, then a version and flags, then the sides.
    for (qsizetype ispe = isoMedia.indexOf("ispe"); ispe >= 0 && ispe + 16 <= isoMedia.size();
         ispe = isoMedia.indexOf("ispe", ispe + 4)) {
        put32be(isoMedia, ispe + 8, width);
        put32be(isoMedia, ispe + 12, height);
    }
    return isoMedia;
}

QByteArray jxlHeaderClaiming(quint32 width, quint32 height)
{
    QByteArray bytes("\xFF\x0A", 2);
    unsigned held = 0;
    int count = 0;
    // Fields are packed from the lowest bit of each byte up.
    const auto put = [&](quint32 value, int bits) {
        for (int i = 0; i < bits; ++i) {
            held |= ((value >> i) & 1u) << count;
            if (++count == 8) {
                bytes.append(static_cast<char>(held));
                held = 0;
                count = 0;
            }
        }
    };
    constexpr quint32 kThirtyBits = 3; // the selector of a side stored as 30 bits, less one
    put(0, 1);                         // not a small picture
    put(kThirtyBits, 2);
    put((height - 1) & 0x3FFFFFFFu, 30);
    put(0, 3); // no fixed aspect ratio: the width follows
    put(kThirtyBits, 2);
    put((width - 1) & 0x3FFFFFFFu, 30);
    put(1, 1); // every other header field at its default
    put(0, 8);
    return bytes + QByteArray(64, '\0');
}

} // namespace kavelora::tests
