// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/png/png_reader.h"

#include "decoder/common/area_reducer.h"
#include "decoder/formats/png/png_chunks.h"
#include "decoder/formats/png/png_data_rows.h"
#include "decoder/formats/png/png_unfilter.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <QBuffer>
#include <QColorSpace>
#include <QColorTransform>
#include <QImageIOHandler>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <vector>

#include <zlib.h>

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

// libpng's default limit on each side, which Qt's reader keeps.
constexpr quint32 kMaxSide = 1'000'000;
constexpr char kSignature[] = "\x89PNG\r\n\x1A\n";

struct Header
{
    quint32 width = 0;
    quint32 height = 0;
    int bitDepth = 0;
    int colourType = 0;
    int interlace = 0;
};

struct Chunk
{
    QByteArray type;
    QByteArray data;
    bool crcMatches = false;
};

[[noreturn]] void refuse()
{
    throw RuntimeError(ErrorNumber::InvalidPicture);
}

bool isCritical(const QByteArray& type)
{
    return (type[0] & 0x20) == 0;
}

quint32 chunkCrc(const QByteArray& type, const QByteArray& data)
{
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.constData()), 4);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(data.constData()),
                static_cast<uInt>(data.size()));
    return static_cast<quint32>(crc);
}

QByteArray chunkBytes(const QByteArray& type, const QByteArray& data)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(static_cast<quint32>(data.size()), bytes.data());
    bytes += type + data;
    QByteArray crc(4, '\0');
    qToBigEndian(chunkCrc(type, data), crc.data());
    return bytes + crc;
}

bool validDepth(int colourType, int bitDepth)
{
    switch (colourType) {
    case 0:
        return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
    case 3:
        return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
    case 2:
    case 4:
    case 6:
        return bitDepth == 8 || bitDepth == 16;
    default:
        return false;
    }
}

Header parseHeader(const Chunk& chunk)
{
    if (chunk.type != "IHDR" || chunk.data.size() != 13 || !chunk.crcMatches)
        refuse();
    const char* data = chunk.data.constData();
    Header header{qFromBigEndian<quint32>(data), qFromBigEndian<quint32>(data + 4),
                  static_cast<uchar>(data[8]), static_cast<uchar>(data[9]),
                  static_cast<uchar>(data[12])};
    if (header.width == 0 || header.height == 0 || header.width > kMaxSide ||
        header.height > kMaxSide || !validDepth(header.colourType, header.bitDepth) ||
        data[10] != 0 || data[11] != 0 || header.interlace > 1)
        refuse();
    return header;
}

bool isColourChunk(const QByteArray& type)
{
    return type == "gAMA" || type == "cHRM" || type == "sRGB" || type == "iCCP";
}

// Critical chunks are read to be checked; of the others only those that change the pixels.
bool isWanted(const QByteArray& type)
{
    return isCritical(type) || type == "tRNS" || isColourChunk(type);
}

// The next chunk before the image data: its data when wanted, with whether its CRC matched.
// chunks is left in the first IDAT chunk, its header read.
Chunk nextChunk(PngChunkWalker& chunks)
{
    if (chunks.next() != PngFault::None || !chunks.chunk().hasLetterType())
        refuse();
    Chunk chunk{chunks.chunk().typeBytes(), {}, false};
    if (chunks.chunk().is("IDAT"))
        return chunk;
    if (!chunks.fitsFile())
        refuse();
    if (!isWanted(chunk.type)) {
        chunks.skipChunk();
        return chunk;
    }
    const PngFault fault = chunks.readWholeData(chunk.data);
    if (fault == PngFault::TooShort)
        refuse();
    chunk.crcMatches = fault == PngFault::None;
    if (isCritical(chunk.type) && !chunk.crcMatches)
        refuse();
    return chunk;
}

// Everything before the image data that decides the pixels' colours.
struct Preamble
{
    Header header;
    PngPixelLayout layout;
    // PLTE, tRNS and the colour chunks, as they came.
    QList<Chunk> colourChunks;
    bool describesColourSpace = false;
};

void applyPalette(Preamble& preamble, const QByteArray& data)
{
    if (data.size() % 3 != 0 || data.size() > 3 * 256 || data.isEmpty())
        refuse();
    preamble.layout.paletteSize = static_cast<int>(data.size() / 3);
    for (qsizetype i = 0; i < data.size() / 3; ++i) {
        const auto* rgb = reinterpret_cast<const uchar*>(data.constData() + 3 * i);
        preamble.layout.palette[static_cast<std::size_t>(i)] = qRgb(rgb[0], rgb[1], rgb[2]);
    }
}

void applyTransparency(Preamble& preamble, const QByteArray& data)
{
    PngPixelLayout& layout = preamble.layout;
    const auto sample = [&](qsizetype at) {
        return static_cast<int>(qFromBigEndian<quint16>(data.constData() + at));
    };
    // Qt's reader ignores a tRNS chunk that does not fit the picture's colours.
    if (layout.colourType == 3) {
        if (data.isEmpty() || data.size() > layout.paletteSize)
            return;
        for (qsizetype i = 0; i < data.size(); ++i) {
            QRgb& entry = layout.palette[static_cast<std::size_t>(i)];
            entry = qRgba(qRed(entry), qGreen(entry), qBlue(entry), static_cast<uchar>(data[i]));
        }
    } else if (layout.colourType == 0 && data.size() == 2) {
        layout.transparentGray = sample(0);
    } else if (layout.colourType == 2 && data.size() == 6) {
        layout.transparentRgb = {sample(0), sample(2), sample(4)};
    }
}

Preamble readPreamble(QIODevice& device, PngChunkWalker& chunks)
{
    if (!device.seek(0) || device.read(8) != QByteArray(kSignature, 8))
        refuse();
    Preamble preamble;
    preamble.header = parseHeader(nextChunk(chunks));
    preamble.layout.colourType = preamble.header.colourType;
    preamble.layout.bitDepth = preamble.header.bitDepth;
    preamble.layout.width = static_cast<int>(preamble.header.width);
    bool hasPalette = false;
    for (Chunk chunk = nextChunk(chunks); chunk.type != "IDAT"; chunk = nextChunk(chunks)) {
        if (chunk.type == "IEND" || chunk.type == "IHDR")
            refuse();
        if (chunk.type == "PLTE") {
            applyPalette(preamble, chunk.data);
            hasPalette = true;
        } else if (chunk.type == "tRNS" && chunk.crcMatches) {
            applyTransparency(preamble, chunk.data);
        } else if (isCritical(chunk.type)) {
            refuse();
        }
        // Like Qt's reader, an ancillary chunk whose CRC is wrong is dropped.
        if (chunk.crcMatches && (chunk.type == "PLTE" || !isCritical(chunk.type))) {
            preamble.describesColourSpace |= isColourChunk(chunk.type);
            preamble.colourChunks.append(std::move(chunk));
        }
    }
    if (preamble.header.colourType == 3 && !hasPalette)
        refuse();
    // Qt's reader shows an index past the palette as the first entry.
    auto& palette = preamble.layout.palette;
    std::fill(palette.begin() + preamble.layout.paletteSize, palette.end(), palette[0]);
    return preamble;
}

// The colour space Qt's reader gives this PNG: read from a one-pixel PNG with the same
// header and colour chunks, so that gamma, primaries and profiles are taken exactly as there.
QColorSpace colourSpaceAsQtReads(const Preamble& preamble)
{
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(1, header.data());
    qToBigEndian<quint32>(1, header.data() + 4);
    header[8] = static_cast<char>(preamble.header.bitDepth);
    header[9] = static_cast<char>(preamble.header.colourType);
    QByteArray probe = QByteArray(kSignature, 8) + chunkBytes("IHDR", header);
    for (const Chunk& chunk : preamble.colourChunks)
        probe += chunkBytes(chunk.type, chunk.data);
    PngPixelLayout onePixel = preamble.layout;
    onePixel.width = 1;
    const QByteArray row(static_cast<qsizetype>(1 + onePixel.rowBytes()), '\0');
    probe += chunkBytes("IDAT", qCompress(row).mid(4)) + chunkBytes("IEND", {});
    QBuffer buffer(&probe);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    // Detection would load every image plugin, which the locked helper cannot.
    reader.setAutoDetectImageFormat(false);
    return reader.read().colorSpace();
}

QImage::Format outputFormat(const PngPixelLayout& layout, int factor)
{
    if (layout.isPlainGray())
        return QImage::Format_Grayscale8;
    if (!layout.hasAlpha())
        return QImage::Format_RGB32;
    return factor == 1 ? QImage::Format_ARGB32 : QImage::Format_ARGB32_Premultiplied;
}

// Converts rows to sRGB one at a time, before they are averaged: averaging is only right
// in the colours the picture is shown in.
class RowColourConversion
{
public:
    explicit RowColourConversion(const QColorSpace& colourSpace)
        : m_needed(colourSpace.isValid() && colourSpace != QColorSpace::SRgb)
        , m_transform(m_needed ? colourSpace.transformationToColorSpace(QColorSpace::SRgb)
                               : QColorTransform())
    {}

    template<typename Pixel> void convert(Pixel* row, int width, QImage::Format format) const
    {
        if (!m_needed)
            return;
        QImage image(reinterpret_cast<uchar*>(row), width, 1, format);
        image.applyColorTransform(m_transform);
    }

private:
    bool m_needed;
    QColorTransform m_transform;
};

void decodeRows(PngChunkWalker& chunks, const PngPixelLayout& layout, int height, int factor,
                const RowColourConversion& conversion, QImage& image)
{
    const std::size_t sampleBytes = layout.rowBytes();
    const int stride = layout.filterStride();
    const bool gray = layout.isPlainGray();
    AreaReducer reducer(image, height, factor);
    std::vector<QRgb> pixels(factor > 1 && !gray ? static_cast<std::size_t>(layout.width) : 0);
    std::vector<uchar> grayRow(factor > 1 && gray ? static_cast<std::size_t>(layout.width) : 0);
    int y = 0;
    const auto takeRow = [&](uchar* row, uchar* previous) {
        if (!unfilterPngRow(row, previous, sampleBytes, stride))
            return false;
        const uchar* samples = row + 1;
        if (factor == 1) {
            if (gray)
                expandPngGrayRow(layout, samples, image.scanLine(y));
            else
                expandPngRow(layout, samples, reinterpret_cast<QRgb*>(image.scanLine(y)));
        } else if (gray) {
            expandPngGrayRow(layout, samples, grayRow.data());
            conversion.convert(grayRow.data(), layout.width, QImage::Format_Grayscale8);
            reducer.addGrayRow(grayRow.data(), layout.width);
        } else {
            expandPngRow(layout, samples, pixels.data());
            conversion.convert(pixels.data(), layout.width, QImage::Format_ARGB32);
            reducer.addRow(pixels.data(), layout.width);
        }
        ++y;
        return true;
    };
    if (inflatePngRows(chunks, sampleBytes + 1, height, takeRow) != PngFault::None)
        refuse();
}

} // namespace

std::optional<DecodedPicture> readPng(QIODevice& device, QSize coverPixels,
                                      const PixelAllocator& allocate)
{
    const qint64 startPosition = device.pos();
    PngChunkWalker chunks(device, device.size());
    const Preamble preamble = readPreamble(device, chunks);
    const Header& header = preamble.header;
    if (header.bitDepth == 16 || header.interlace != 0) {
        device.seek(startPosition);
        return std::nullopt;
    }
    const QSize ownSize(static_cast<int>(header.width), static_cast<int>(header.height));
    if (static_cast<qint64>(header.width) * header.height > protocol::kMaxPicturePixels)
        throw RuntimeError(ErrorNumber::OutOfMemory);
    const int factor = areaReductionFactor(ownSize, coverPixels);
    const QSize size = reducedSize(ownSize, factor);
    QImage image = allocate(size, outputFormat(preamble.layout, factor));
    if (image.isNull())
        throw RuntimeError(ErrorNumber::OutOfMemory);
    const QColorSpace colourSpace =
        preamble.describesColourSpace ? colourSpaceAsQtReads(preamble) : QColorSpace();
    const RowColourConversion rowConversion(factor > 1 ? colourSpace : QColorSpace());
    decodeRows(chunks, preamble.layout, ownSize.height(), factor, rowConversion, image);
    if (colourSpace.isValid()) {
        // A reduced copy's rows were converted as they came.
        image.setColorSpace(factor > 1 ? QColorSpace(QColorSpace::SRgb) : colourSpace);
        if (image.colorSpace() != QColorSpace::SRgb)
            image.convertToColorSpace(QColorSpace::SRgb);
    }
    return DecodedPicture{std::move(image), ownSize};
}

} // namespace kavelora::decoder
