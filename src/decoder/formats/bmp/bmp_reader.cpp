// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/bmp/bmp_reader.h"

#include "decoder/common/byte_fields.h"
#include "platform/runtime_error.h"

#include <QList>
#include <QtEndian>

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

constexpr qsizetype kFileHeaderBytes = 14;
constexpr qsizetype kInfoHeaderBytes = 40;
constexpr qsizetype kVersion4HeaderBytes = 108;
constexpr quint32 kRunLength8 = 1;
constexpr quint32 kRunLength4 = 2;

void writeLittleEndian32(QByteArray& bytes, qsizetype offset, quint32 value)
{
    qToLittleEndian(value, bytes.data() + offset);
}

quint32 infoHeaderBytes(const QByteArray& bytes)
{
    if (bytes.size() < kFileHeaderBytes + 4)
        return 0;
    const quint32 length = readLittleEndian32(bytes, kFileHeaderBytes);
    return bytes.size() - kFileHeaderBytes >= qint64{length} ? length : 0;
}

bool hasVersion2Or3Header(const QByteArray& bytes)
{
    const quint32 length = infoHeaderBytes(bytes);
    return length == 52 || length == 56;
}

[[noreturn]] void refuse()
{
    throw RuntimeError(ErrorNumber::InvalidPicture);
}

// The colours a run-length BMP's indices stand for, opaque, read from after its header.
QList<QRgb> readPalette(const QByteArray& bytes, quint32 infoBytes, int bitsPerPixel)
{
    const quint32 largest = 1u << bitsPerPixel;
    const quint32 used = readLittleEndian32(bytes, kFileHeaderBytes + 32);
    const quint32 count = used == 0 || used > largest ? largest : used;
    const qint64 start = kFileHeaderBytes + qint64{infoBytes};
    if (start + qint64{count} * 4 > bytes.size())
        refuse();
    QList<QRgb> palette;
    palette.reserve(count);
    for (quint32 i = 0; i < count; ++i) {
        const auto* entry = reinterpret_cast<const uchar*>(bytes.constData() + start + i * 4);
        palette.append(qRgb(entry[2], entry[1], entry[0]));
    }
    return palette;
}

// Returns how many pixels the runs set.
qint64 decodeRuns(const uchar* data, qsizetype size, bool fourBit, const QList<QRgb>& palette,
                  QImage& image)
{
    const int width = image.width();
    const int height = image.height();
    const auto colour = [&](unsigned index) {
        // An index past the palette is opaque black, as Qt draws one in an unpacked BMP.
        return index < static_cast<unsigned>(palette.size()) ? palette[index] : qRgb(0, 0, 0);
    };
    int x = 0;
    int y = 0;
    qint64 set = 0;
    const auto put = [&](QRgb pixel) {
        reinterpret_cast<QRgb*>(image.scanLine(height - 1 - y))[x++] = pixel;
        ++set;
    };
    qsizetype at = 0;
    bool ended = false;
    while (y < height) {
        if (at + 2 > size)
            break;
        const unsigned count = data[at];
        const unsigned value = data[at + 1];
        at += 2;
        if (count > 0) {
            if (x + static_cast<int>(count) > width)
                refuse();
            for (unsigned i = 0; i < count; ++i) {
                const unsigned nibble = i % 2 == 0 ? value >> 4 : value & 0x0F;
                put(colour(fourBit ? nibble : value));
            }
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            ended = true;
            break;
        } else if (value == 2) {
            if (at + 2 > size)
                refuse();
            x += data[at];
            y += data[at + 1];
            at += 2;
            if (x > width || y >= height)
                refuse();
        } else {
            const qsizetype literalBytes = fourBit ? (value + 1) / 2 : value;
            if (at + literalBytes > size || x + static_cast<int>(value) > width)
                refuse();
            for (unsigned i = 0; i < value; ++i) {
                const uchar byte = data[at + (fourBit ? i / 2 : i)];
                put(colour(fourBit ? (i % 2 == 0 ? byte >> 4 : byte & 0x0F) : byte));
            }
            at += literalBytes + literalBytes % 2;
        }
    }
    // Data that stops without an end mark is a cut-off file, unless the last row is full.
    if (!ended && y < height && !(y == height - 1 && x == width))
        refuse();
    return set;
}

QImage decodeRunLength(const QByteArray& bytes, qint64 maxPixels, const PixelAllocator& allocate)
{
    const quint32 infoBytes = infoHeaderBytes(bytes);
    const auto width = static_cast<qint32>(readLittleEndian32(bytes, kFileHeaderBytes + 4));
    const auto height = static_cast<qint32>(readLittleEndian32(bytes, kFileHeaderBytes + 8));
    const int bitsPerPixel = readLittleEndian16(bytes, kFileHeaderBytes + 14);
    const bool fourBit = readLittleEndian32(bytes, kFileHeaderBytes + 16) == kRunLength4;
    const quint32 pixelOffset = readLittleEndian32(bytes, 10);
    // Runs are stored bottom row first only; a negative height has no run-length form.
    if (width <= 0 || height <= 0 || bitsPerPixel != (fourBit ? 4 : 8) ||
        pixelOffset >= static_cast<quint32>(bytes.size()))
        refuse();
    if (qint64{width} * height > maxPixels)
        throw RuntimeError(ErrorNumber::OutOfMemory);
    const QList<QRgb> palette = readPalette(bytes, infoBytes, bitsPerPixel);

    QImage image = allocate(QSize(width, height), QImage::Format_ARGB32);
    if (image.isNull())
        throw RuntimeError(ErrorNumber::OutOfMemory);
    image.fill(Qt::transparent);
    const qint64 set = decodeRuns(reinterpret_cast<const uchar*>(bytes.constData()) + pixelOffset,
                                  bytes.size() - pixelOffset, fourBit, palette, image);
    if (set == qint64{width} * height)
        image.reinterpretAsFormat(QImage::Format_RGB32);
    return image;
}

} // namespace

bool bmpNeedsWholeFile(const QByteArray& head)
{
    return isRunLengthBmp(head) || hasVersion2Or3Header(head);
}

bool isRunLengthBmp(const QByteArray& bytes)
{
    if (infoHeaderBytes(bytes) < kInfoHeaderBytes)
        return false;
    const quint32 compression = readLittleEndian32(bytes, kFileHeaderBytes + 16);
    return compression == kRunLength8 || compression == kRunLength4;
}

QImage readRunLengthBmp(const QByteArray& bytes, qint64 maxPixels, const QString& fileName,
                        const PixelAllocator& allocate)
{
    try {
        if (!isRunLengthBmp(bytes))
            refuse();
        return decodeRunLength(bytes, maxPixels, allocate);
    } catch (const RuntimeError& error) {
        throw RuntimeError(error.errorNumber(), fileName);
    }
}

QByteArray withQtReadableBmpHeader(const QByteArray& bytes)
{
    if (!hasVersion2Or3Header(bytes))
        return bytes;
    const auto infoBytes = static_cast<qsizetype>(infoHeaderBytes(bytes));
    const qsizetype growth = kVersion4HeaderBytes - infoBytes;
    const qint64 pixelOffset = qint64{readLittleEndian32(bytes, 10)} + growth;
    if (pixelOffset > 0xFFFFFFFF || bytes.size() + growth > 0xFFFFFFFF)
        return bytes;

    // The old header with its masks, the alpha mask where missing, then sRGB.
    QByteArray header = bytes.mid(kFileHeaderBytes, infoBytes);
    header.append(QByteArray(kVersion4HeaderBytes - infoBytes, '\0'));
    writeLittleEndian32(header, 0, static_cast<quint32>(kVersion4HeaderBytes));
    writeLittleEndian32(header, 56, 0x73524742); // 'sRGB'

    QByteArray rewritten =
        bytes.left(kFileHeaderBytes) + header + bytes.mid(kFileHeaderBytes + infoBytes);
    writeLittleEndian32(rewritten, 2, static_cast<quint32>(rewritten.size()));
    writeLittleEndian32(rewritten, 10, static_cast<quint32>(pixelOffset));
    return rewritten;
}

} // namespace kavelora::decoder
