// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/common/picture_prechecks.h"

#include "decoder/common/byte_fields.h"
#include "protocol/picture_limits.h"

#include <QList>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace kavelora::decoder {

namespace {

bool startsWith(const QByteArray& bytes, const char* prefix, qsizetype length)
{
    return bytes.size() >= length &&
           std::memcmp(bytes.constData(), prefix, static_cast<std::size_t>(length)) == 0;
}

bool isNetpbmSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || c == '#';
}

QByteArray netpbmFormat(const QByteArray& bytes)
{
    if (bytes.size() < 3 || bytes[0] != 'P' || !isNetpbmSpace(bytes[2]))
        return {};
    switch (bytes[1]) {
    case '1':
    case '4':
        return QByteArrayLiteral("pbm");
    case '2':
    case '5':
        return QByteArrayLiteral("pgm");
    case '3':
    case '6':
        return QByteArrayLiteral("ppm");
    default:
        return {};
    }
}

// An X bitmap is C source: "#define name_width 16" first, perhaps after blank lines.
bool looksLikeXbm(const QByteArray& bytes)
{
    const QByteArray head = bytes.left(1024).trimmed();
    if (!head.startsWith("#define"))
        return false;
    const qsizetype lineEnd = head.indexOf('\n');
    return head.left(lineEnd < 0 ? head.size() : lineEnd).contains("_width");
}

bool isJpegFrameMarker(unsigned marker)
{
    // SOF0 to SOF15 less DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool isJpegProgressive(unsigned marker)
{
    return marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
}

// Whole-picture coefficient arrays as libjpeg allocates them: per component, its blocks
// across and down (rounded up to its sampling factors), 64 coefficients of 2 bytes each.
qint64 coefficientArrayBytes(const QByteArray& bytes, qsizetype frame)
{
    const qint64 height = readBigEndian16(bytes, frame + 3);
    const qint64 width = readBigEndian16(bytes, frame + 5);
    const int components = static_cast<unsigned char>(bytes[frame + 7]);
    if (frame + 8 + 3 * components > bytes.size())
        return 0;
    int maxHorizontal = 1;
    int maxVertical = 1;
    for (int i = 0; i < components; ++i) {
        const auto sampling = static_cast<unsigned char>(bytes[frame + 9 + 3 * i]);
        maxHorizontal = std::max(maxHorizontal, sampling >> 4);
        maxVertical = std::max(maxVertical, sampling & 0x0F);
    }
    const auto blocks = [](qint64 side, int factor, int maxFactor) {
        const qint64 samples = (side * factor + maxFactor - 1) / maxFactor;
        const qint64 count = (samples + 7) / 8;
        return factor > 0 ? (count + factor - 1) / factor * factor : count;
    };
    qint64 total = 0;
    for (int i = 0; i < components; ++i) {
        const auto sampling = static_cast<unsigned char>(bytes[frame + 9 + 3 * i]);
        total += blocks(width, sampling >> 4, maxHorizontal) *
                 blocks(height, sampling & 0x0F, maxVertical) * 64 * 2;
    }
    return total;
}

// libjpeg decides from the first scan alone whether to buffer the whole picture.
struct JpegFirstScan
{
    bool found = false;
    qint64 coefficientBytes = 0;
};

JpegFirstScan readJpegFirstScan(const QByteArray& bytes)
{
    qsizetype frame = -1;
    bool progressive = false;
    qsizetype at = 2;
    while (at + 4 <= bytes.size()) {
        if (static_cast<unsigned char>(bytes[at]) != 0xFF) {
            ++at; // not a marker: skip as the decoder does
            continue;
        }
        const auto marker = static_cast<unsigned char>(bytes[at + 1]);
        if (marker == 0x00) {
            at += 2; // a stuffed zero, no marker: the decoder drops both bytes and reads on
            continue;
        }
        if (marker == 0xFF || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            ++at; // fill byte or a marker without a length
            continue;
        }
        if (marker == 0xD9)
            break;
        if (isJpegFrameMarker(marker) && frame < 0 && at + 2 + 8 <= bytes.size()) {
            frame = at + 2;
            progressive = isJpegProgressive(marker);
        }
        if (marker == 0xDA) {
            if (at + 5 > bytes.size())
                break;
            if (frame < 0)
                return {true, 0};
            const int frameComponents = static_cast<unsigned char>(bytes[frame + 7]);
            const int scanComponents = static_cast<unsigned char>(bytes[at + 4]);
            const bool buffered = progressive || scanComponents < frameComponents;
            return {true, buffered ? coefficientArrayBytes(bytes, frame) : 0};
        }
        at += 2 + readBigEndian16(bytes, at + 2);
    }
    return {};
}

// ISO base media files name their kind in the ftyp box: the major brand, then compatible ones.
QByteArray isoMediaFormat(const QByteArray& bytes)
{
    if (bytes.size() < 16 || bytes.mid(4, 4) != "ftyp")
        return {};
    const qsizetype boxEnd = std::min<qsizetype>(bytes.size(), readBigEndian32(bytes, 0));
    QList<QByteArray> brands{bytes.mid(8, 4)};
    for (qsizetype at = 16; at + 4 <= boxEnd; at += 4)
        brands.append(bytes.mid(at, 4));
    const auto any = [&](std::initializer_list<const char*> names) {
        return std::any_of(names.begin(), names.end(),
                           [&](const char* name) { return brands.contains(name); });
    };
    // An AVIF is also a HEIF (mif1); its own brands decide it.
    if (any({"avif", "avis"}))
        return QByteArrayLiteral("avif");
    if (any({"heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs", "mif1", "msf1"}))
        return QByteArrayLiteral("heif");
    return {};
}

bool looksLikeJxl(const QByteArray& bytes)
{
    return startsWith(bytes, "\xFF\x0A", 2) ||
           startsWith(bytes, "\0\0\0\x0CJXL \x0D\x0A\x87\x0A", 12);
}

} // namespace

QByteArray sniffPictureFormat(const QByteArray& bytes)
{
    if (QByteArray isoMedia = isoMediaFormat(bytes); !isoMedia.isEmpty())
        return isoMedia;
    if (looksLikeJxl(bytes))
        return QByteArrayLiteral("jxl");
    if (startsWith(bytes, "BM", 2) && bytes.size() >= 26)
        return QByteArrayLiteral("bmp");
    if (startsWith(bytes, "\0\0\1\0", 4))
        return QByteArrayLiteral("ico");
    if (startsWith(bytes, "\0\0\2\0", 4))
        return QByteArrayLiteral("cur");
    if (startsWith(bytes, "GIF87a", 6) || startsWith(bytes, "GIF89a", 6))
        return QByteArrayLiteral("gif");
    if (startsWith(bytes, "\xFF\xD8\xFF", 3))
        return QByteArrayLiteral("jpeg");
    if (startsWith(bytes, "\x89PNG\r\n\x1A\n", 8))
        return QByteArrayLiteral("png");
    if (startsWith(bytes, "RIFF", 4) && bytes.size() >= 12 && bytes.mid(8, 4) == "WEBP")
        return QByteArrayLiteral("webp");
    if (startsWith(bytes, "II*\0", 4) || startsWith(bytes, "MM\0*", 4))
        return QByteArrayLiteral("tiff");
    if (startsWith(bytes, "/* XPM", 6))
        return QByteArrayLiteral("xpm");
    if (QByteArray netpbm = netpbmFormat(bytes); !netpbm.isEmpty())
        return netpbm;
    if (looksLikeXbm(bytes))
        return QByteArrayLiteral("xbm");
    return {};
}

HeadCheck pngChunksFitFile(const QByteArray& head, qint64 fileSize)
{
    constexpr qsizetype kSignatureLength = 8;
    constexpr qint64 kChunkOverhead = 12; // length, type and CRC
    qsizetype offset = kSignatureLength;
    while (offset + 8 <= head.size()) {
        const quint32 length = readBigEndian32(head, offset);
        const QByteArray type = head.mid(offset + 4, 4);
        // Image data is streamed through zlib, never allocated whole; a truncated file's last
        // data chunk may run past the end and decodes to defined pixels.
        if (type == "IDAT")
            return length <= 0x7FFFFFFFu ? HeadCheck::Passes : HeadCheck::Fails;
        const qint64 remaining = fileSize - offset - kChunkOverhead;
        if (length > 0x7FFFFFFFu || static_cast<qint64>(length) > remaining)
            return HeadCheck::Fails;
        if (type == "IEND")
            return HeadCheck::Passes;
        offset += kChunkOverhead + static_cast<qsizetype>(length);
    }
    if (head.size() < fileSize)
        return HeadCheck::NeedsWholeFile;
    // Cut off inside a chunk header: the decoder fails on it without allocating.
    return HeadCheck::Passes;
}

HeadCheck bmpPixelsFitFile(const QByteArray& head, qint64 fileSize)
{
    constexpr qsizetype kFileHeaderLength = 14;
    const auto verdict = [](bool fits) { return fits ? HeadCheck::Passes : HeadCheck::Fails; };
    if (head.size() < kFileHeaderLength + 12)
        return verdict(false);
    const quint32 pixelOffset = readLittleEndian32(head, 10);
    const quint32 infoLength = readLittleEndian32(head, kFileHeaderLength);
    qint64 width = 0;
    qint64 height = 0;
    quint16 bitsPerPixel = 0;
    quint32 compression = 0;
    if (infoLength == 12) {
        width = readLittleEndian16(head, 18);
        height = readLittleEndian16(head, 20);
        bitsPerPixel = readLittleEndian16(head, 24);
    } else {
        if (head.size() < kFileHeaderLength + 20)
            return verdict(false);
        width = static_cast<qint32>(readLittleEndian32(head, 18));
        height = static_cast<qint32>(readLittleEndian32(head, 22));
        bitsPerPixel = readLittleEndian16(head, 28);
        compression = readLittleEndian32(head, 30);
    }
    constexpr quint32 kRgb = 0;
    constexpr quint32 kRunLength8 = 1;
    constexpr quint32 kRunLength4 = 2;
    constexpr quint32 kBitFields = 3;
    constexpr quint32 kAlphaBitFields = 6;
    if (width <= 0 || height == 0 || bitsPerPixel == 0)
        return verdict(false);
    if (compression == kRunLength8 || compression == kRunLength4) {
        if (head.size() < fileSize)
            return HeadCheck::NeedsWholeFile;
        return verdict(height > 0 && pixelOffset < static_cast<quint32>(head.size()));
    }
    if (compression != kRgb && compression != kBitFields && compression != kAlphaBitFields)
        return verdict(false);
    // A row longer than the file fails at once; below that, no product can overflow.
    const qint64 rowBytes = (width * bitsPerPixel + 31) / 32 * 4;
    if (rowBytes > fileSize)
        return verdict(false);
    const qint64 pixelBytes = rowBytes * std::llabs(height);
    return verdict(pixelOffset >= qint64{kFileHeaderLength} + infoLength &&
                   static_cast<qint64>(pixelOffset) + pixelBytes <= fileSize);
}

HeadCheck jpegCoefficientsFit(const QByteArray& head, qint64 fileSize)
{
    const JpegFirstScan scan = readJpegFirstScan(head);
    if (!scan.found && head.size() < fileSize)
        return HeadCheck::NeedsWholeFile;
    return scan.coefficientBytes <= protocol::kMaxJpegCoefficientBytes ? HeadCheck::Passes
                                                                       : HeadCheck::Fails;
}

bool codecDecodeFits(qint64 width, qint64 height, int bitsPerSample, bool hasAlpha)
{
    if (width <= 0 || height <= 0 || width > protocol::kMaxCodecSidePixels ||
        height > protocol::kMaxCodecSidePixels)
        return false;
    const qint64 pixels = width * height;
    const qint64 sampleBytes = bitsPerSample > 8 ? 2 : 1;
    const qint64 channels = hasAlpha ? 4 : 3;
    // The codec's planes, its interleaved samples, and the 32-bit picture made from them.
    const qint64 bytesPerPixel = 2 * channels * sampleBytes + 4;
    return pixels <= protocol::kMaxPicturePixels &&
           pixels * bytesPerPixel <= protocol::kMaxCodecDecodeBytes &&
           pixels * channels * sampleBytes <= protocol::kMaxCodecSampleBufferBytes;
}

HeadCheck precheckHead(const QByteArray& head, qint64 fileSize, const QByteArray& format)
{
    if (format == "png")
        return pngChunksFitFile(head, fileSize);
    if (format == "bmp")
        return bmpPixelsFitFile(head, fileSize);
    return HeadCheck::Passes;
}

} // namespace kavelora::decoder
