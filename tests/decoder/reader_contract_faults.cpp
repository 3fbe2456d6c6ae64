// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "byte_fields.h"
#include "codec_samples.h"
#include "picture_fixtures.h"
#include "png_samples.h"
#include "reader_contract_samples.h"
#include "seeded_random.h"
#include "tool_encodings.h"

#include <QtEndian>

namespace kavelora::tests {

namespace {

// One clean file of each format Qt's readers are the reference for, and where in it the
// header's sizes or layout lie.
struct CleanFile
{
    QByteArray format;
    QByteArray bytes;
    qsizetype headerAt;
};

QList<CleanFile> cleanFiles()
{
    const QImage photo = noisePicture(QSize(64, 48), 31);
    const QImage mono = twoHalves(QSize(40, 24), qRgb(0, 0, 0), qRgb(255, 255, 255))
                            .convertToFormat(QImage::Format_Mono);
    const QByteArray jpeg = encoded(photo, "JPEG", 90);
    const QByteArray xpm = encoded(twoHalves(QSize(40, 24), qRgb(255, 0, 0), qRgb(0, 0, 255))
                                       .convertToFormat(QImage::Format_Indexed8),
                                   "XPM");
    const QByteArray xbm = encoded(mono, "XBM");
    QByteArray cursor = encoded(photo.scaled(32, 32), "ICO");
    cursor[2] = 2;
    return {{"bmp", encoded(photo, "BMP"), 18},
            {"png", encoded(photo, "PNG"), 16},
            {"gif", encodedGif(still(QSize(64, 48), 16)), 6},
            {"jpeg", jpeg, jpeg.indexOf("\xFF\xC0") + 5},
            {"tiff", tiffFile(photo, {}), 4},
            {"webp", webpFile(photo, true), 21},
            {"ico", encoded(photo.scaled(32, 32), "ICO"), 6},
            {"cur", cursor, 6},
            {"xpm", xpm, xpm.indexOf('"') + 1},
            {"xbm", xbm, xbm.indexOf("width") + 6},
            {"pbm", encoded(mono, "PBM"), 3},
            {"pgm", encoded(photo.convertToFormat(QImage::Format_Grayscale8), "PGM"), 3},
            {"ppm", encoded(photo, "PPM"), 3}};
}

QByteArray headerCorrupted(QByteArray bytes, qsizetype at)
{
    for (qsizetype i = at; i < at + 8 && i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(bytes[i] ^ 0xFF);
    return bytes;
}

QByteArray dataCorrupted(QByteArray bytes)
{
    return bytes.replace(bytes.size() * 3 / 4, 16, QByteArray(16, '\x55'));
}

void addPngRefusals(QList<BrokenFile>& rows)
{
    const auto add = [&rows](const char* name, const QByteArray& png) {
        rows.append({QByteArray("png ") + name, png, "png", Outcome::Refused});
    };
    const QByteArray good = randomPng(QSize(64, 48), Rgb, 8, {}, 256);
    const qsizetype data = good.indexOf("IDAT") + 4;
    const QByteArray header = good.mid(8, 25);
    const QByteArray signature = good.left(8);
    const QByteArray end = pngChunk("IEND", {});
    const auto withData = [&](const QByteArray& idat) {
        return signature + header + pngChunk("IDAT", idat) + end;
    };
    add("cut off in the image data", good.left(data + 500));
    QByteArray flipped = good;
    flipped[data + 300] = static_cast<char>(flipped[data + 300] ^ 0x40);
    add("image data with a wrong CRC", flipped);
    add("image data that does not inflate", withData(SeededRandom(9).bytes(2000)));
    add("image data too short for the rows", withData(qCompress(QByteArray(100, '\0')).mid(4)));
    add("unknown filter type", withData(qCompress(QByteArray(48 * (1 + 64 * 3), '\5')).mid(4)));
    add("no image data", signature + header + end);
    const QByteArray stream = good.mid(data, qFromBigEndian<quint32>(good.constData() + data - 8));
    add("no end chunk", good.chopped(end.size()));
    add("cut off in the last CRC", good.chopped(end.size() + 2));
    add("text chunk after the data, no end chunk",
        good.chopped(end.size()) + pngChunk("tEXt", QByteArray("a\0b", 3)));
    add("zlib checksum missing", withData(stream.chopped(4)));
    add("zlib checksum wrong", withData(stream.chopped(4) + QByteArray(4, '\0')));
    // The two bytes before the compressed data, with their check bits made right.
    const auto withZlibHeader = [&](int method, int flags) {
        const int check = (31 - (method * 256 + flags) % 31) % 31;
        QByteArray changed = stream;
        changed[0] = static_cast<char>(method);
        changed[1] = static_cast<char>(flags | check);
        return withData(changed);
    };
    add("zlib header naming another method", withZlibHeader(0x77, 0));
    add("zlib window over 32 KiB", withZlibHeader(0x88, 0));
    add("zlib preset dictionary", withZlibHeader(0x78, 0x20));
    QByteArray wrongCheckBits = stream;
    wrongCheckBits[1] = static_cast<char>(wrongCheckBits[1] ^ 1);
    add("zlib header check bits wrong", withData(wrongCheckBits));
    QByteArray badHeaderCrc = good;
    badHeaderCrc[29] = static_cast<char>(badHeaderCrc[29] ^ 1);
    add("header with a wrong CRC", badHeaderCrc);
    add("palette picture without a palette", randomPng(QSize(8, 8), Palette, 8, {}, 1));
    QByteArray twelveBits = randomPng(QSize(8, 8), Gray, 8, {}, 256);
    twelveBits[24] = 12;
    twelveBits.replace(29, 4, be32(pngCrc(twelveBits.mid(12, 17))));
    add("12 bits a sample", twelveBits);
    QByteArray strangeType = good;
    strangeType.insert(33, pngChunk("p\xC8Ys", "123456789"));
    add("chunk type not made of letters", strangeType);
    add("unknown critical chunk before the data",
        signature + header + pngChunk("ABCD", "x") + good.mid(33));
}

// Broken files are shown, or refused, as Qt's reader shows or refuses them.
void addGifBreaks(QList<BrokenFile>& rows)
{
    const auto add = [&rows](const QByteArray& name, const QByteArray& gif) {
        rows.append({"gif " + name, gif, "gif", Outcome::AsQtsReader});
    };
    const QByteArray gif = encodedGif(still(QSize(301, 203), 256), 7);
    const qsizetype imageData = kScreenDescriptorEnd + 3 * 256 + 11;
    add("cut in the screen descriptor", gif.left(10));
    add("cut in the colour table", gif.left(kScreenDescriptorEnd + 100));
    add("cut after the image descriptor", gif.left(imageData));
    for (const int percent : {25, 50, 99})
        add("cut at " + QByteArray::number(percent) + "%", gif.left(gif.size() * percent / 100));
    add("no block terminator or trailer", gif.chopped(2));
    add("image data ends early",
        claimingSize(encodedGif(still(QSize(50, 20), 8)), 8, QSize(50, 25)));
    add("unknown record after the image", gif.chopped(1) + QByteArray("\x07\x00", 2));
    add("unknown record before the image", withBlockFirst(gif, 256, QByteArray("\x07", 1)));
    const QByteArray small = encodedGif(still(QSize(20, 10), 4));
    const qsizetype codeSize = kScreenDescriptorEnd + 3 * 4 + 10;
    add("code size of one bit", QByteArray(small).replace(codeSize, 1, "\x01"));
    add("code size past eight bits", QByteArray(small).replace(codeSize, 1, "\x09"));
    add("zero-sized screen", claimingSize(encodedGif(still(QSize(50, 20), 8)), 8, QSize(0, 0)));
}

void addOtherRefusals(QList<BrokenFile>& rows)
{
    const QByteArray colour = encoded(detailedPhoto(QSize(32, 32)), "JPEG", 90);
    rows.append({"jpeg cut inside the headers", colour.left(40), "jpeg", Outcome::Refused});
    QByteArray bogusTable = colour;
    // Code counts adding up to far more codes than the table holds.
    bogusTable.replace(bogusTable.indexOf("\xFF\xC4") + 5, 16, QByteArray(16, '\xFF'));
    rows.append({"jpeg bogus huffman table", bogusTable, "jpeg", Outcome::Refused});
    rows.append({"jpeg two components, no colour conversion",
                 libjpegFile(QSize(16, 16), 2, JCS_UNKNOWN, JCS_UNKNOWN), "jpeg",
                 Outcome::Refused});

    // The strips lie between the header and the directory at the end.
    QByteArray tiff = tiffFile(noisePicture(QSize(64, 64), 6), {});
    tiff.replace(200, 3800, QByteArray(3800, '\xFF'));
    rows.append({"tiff rows that do not decode", tiff, "tiff", Outcome::Refused});

    const QByteArray lossy = webpFile(softPhoto(QSize(64, 48), false), false);
    const QByteArray lossless = webpFile(softPhoto(QSize(64, 48), false), true);
    rows.append({"webp lossy cut in half", lossy.left(lossy.size() / 2), "webp", Outcome::Refused});
    rows.append({"webp lossless cut in half", lossless.left(lossless.size() / 2), "webp",
                 Outcome::Refused});
    rows.append({"webp header only", lossy.left(20), "webp", Outcome::Refused});
    rows.append({"webp unknown image chunk", QByteArray(lossy).replace(12, 4, "VP9 "), "webp",
                 Outcome::Refused});

    // Bit-field headers of 56 bytes, which Qt's reader does not take.
    const QByteArray bitFields =
        bmpFile(56, 2, 2, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, {}, QByteArray(16, '\x7F'));
    rows.append({"bmp rows past the end of the file", bitFields.chopped(1), {}, Outcome::Refused});
    rows.append({"bmp header past the end of the file", bitFields.left(60), {}, Outcome::Refused});
    QByteArray offsetClaim = bitFields;
    offsetClaim.replace(10, 4, le32(0xFFFFFFF0));
    rows.append({"bmp pixels 4 GiB in", offsetClaim, {}, Outcome::Refused});
}

// A TIFF whose directory claims width x height.
QByteArray tiffClaiming(QByteArray tiff, quint32 width, quint32 height)
{
    const auto directory = qFromLittleEndian<quint32>(tiff.constData() + 4);
    const auto entries = qFromLittleEndian<quint16>(tiff.constData() + directory);
    for (quint32 i = 0; i < entries; ++i) {
        const qsizetype entry = directory + 2 + 12 * i;
        const auto tag = qFromLittleEndian<quint16>(tiff.constData() + entry);
        const auto type = qFromLittleEndian<quint16>(tiff.constData() + entry + 2);
        if (tag != 256 && tag != 257)
            continue;
        const quint32 side = tag == 256 ? width : height;
        if (type == 3)
            put16le(tiff, entry + 8, side);
        else
            put32le(tiff, entry + 8, side);
    }
    return tiff;
}

// A lossless WebP whose header claims width x height (each up to 16384).
QByteArray webpClaiming(QByteArray webp, quint32 width, quint32 height)
{
    const auto bits = qFromLittleEndian<quint32>(webp.constData() + 21);
    put32le(webp, 21, (bits & 0xF0000000u) | (width - 1) | ((height - 1) << 14));
    return webp;
}

// An 8-bit run-length BMP of width x height in one colour, each row in runs of 255.
QByteArray runLengthBmp(int width, int height)
{
    QByteArray row;
    for (int left = width; left > 0; left -= 255)
        row += QByteArray(1, static_cast<char>(std::min(left, 255))) + QByteArray(1, '\0');
    row += QByteArray(2, '\0');
    return bmpFile(40, width, height, 8, 1, {}, QByteArray::fromHex("0000ff00"),
                   row.repeated(height) + QByteArray::fromHex("0001"));
}

} // namespace

QList<BrokenFile> brokenFiles(const QString& folder)
{
    QList<BrokenFile> rows;
    for (const CleanFile& file : cleanFiles()) {
        // Qt's reader would show the rows a BMP lacks as whatever memory held.
        const bool unsafeReference = file.format == "bmp";
        rows.append({file.format + " cut in half", file.bytes.left(file.bytes.size() / 2),
                     unsafeReference ? QByteArray() : file.format,
                     unsafeReference ? Outcome::Refused : Outcome::AsQtsReader});
        rows.append({file.format + " header corrupted", headerCorrupted(file.bytes, file.headerAt),
                     file.format});
        rows.append({file.format + " data corrupted", dataCorrupted(file.bytes), file.format});
    }
    addPngRefusals(rows);
    addGifBreaks(rows);
    addOtherRefusals(rows);
    for (const QString& format : {u"heif"_qs, u"avif"_qs, u"jxl"_qs}) {
        const QByteArray bytes =
            encodedByTool(format, quadrants(), losslessOptions(format), folder);
        const QByteArray name = format.toLatin1();
        rows.append({name + " cut in half", bytes.left(bytes.size() / 2), {}, Outcome::Refused});
        rows.append({name + " cut after its header", bytes.left(40), {}, Outcome::Refused});
        rows.append({name + " header corrupted", headerCorrupted(bytes, 8), {}, Outcome::Either});
        rows.append({name + " data corrupted", dataCorrupted(bytes), {}, Outcome::Either});
    }
    return rows;
}

QList<CappedFile> cappedFiles(const QString& folder)
{
    const QSize over(8192, 8193);
    QByteArray png = randomPng(QSize(64, 48), Rgb, 8, {}, 256);
    png.replace(16, 8, be32(9000) + be32(9000));
    png.replace(29, 4, be32(pngCrc(png.mid(12, 17))));
    const QList<QPair<QByteArray, QByteArray>> claims{
        {"png claiming 9000 x 9000", png},
        {"gif one row past the cap", claimingSize(encodedGif(still(QSize(50, 20), 8)), 8, over)},
        // Buffered whole, even when decoded at 1/8: 2.7 GB of coefficients.
        {"jpeg progressive claiming 30000 x 30000",
         claimingSide(encodedProgressive(detailedPhoto(QSize(96, 64))), "\xFF\xC2", 30000)},
        {"bmp run-length claiming 60000 x 60000, nothing drawn",
         bmpFile(40, 60000, 60000, 8, 1, {},
                 QByteArray::fromHex("0000ff0000ff0000ff000000ffffff00"),
                 QByteArray::fromHex("0001"))},
        {"tiff one row past the cap",
         tiffClaiming(tiffFile(noisePicture(QSize(16, 16), 2), {}), 8192, 8193)},
        {"webp one row past the cap",
         webpClaiming(webpFile(softPhoto(QSize(16, 16), false), true), 8192, 8193)},
        {"xpm one row past the cap", "/* XPM */\nstatic char *c[] = {\n\"8192 8193 1 1\",\n"
                                     "\"a c #FF0000\",\n\"aaaa\"\n};\n"},
        {"xbm one row past the cap",
         "#define c_width 8192\n#define c_height 8193\nstatic char c_bits[] = {\n0x00 };\n"},
        {"pbm one row past the cap", "P4\n8192 8193\n" + QByteArray(100, '\0')},
        {"pgm one row past the cap", "P5\n8192 8193\n255\n" + QByteArray(100, '\0')},
        {"ppm one row past the cap", "P6\n8192 8193\n255\n" + QByteArray(100, '\0')}};
    QList<CappedFile> rows;
    for (const auto& [name, bytes] : claims)
        rows.append({name, bytes, true, {}});
    for (const QString& format : {u"heif"_qs, u"avif"_qs, u"jxl"_qs}) {
        const QByteArray bytes =
            encodedByTool(format, quadrants(), losslessOptions(format), folder);
        rows.append({format.toLatin1() + " claiming 12000 x 12000",
                     format == u"jxl"  ? jxlHeaderClaiming(12000, 12000)
                     : bytes.isEmpty() ? QByteArray()
                                       : withIspeClaim(bytes, 12000, 12000),
                     true,
                     {}});
    }

    const QSize within(8192, 8192);
    const QByteArray grayHeader = be32(8192) + be32(8192) + QByteArray::fromHex("0100000000");
    rows.append({"png just within",
                 QByteArray("\x89PNG\r\n\x1A\n", 8) + pngChunk("IHDR", grayHeader) +
                     pngChunk("IDAT", qCompress(QByteArray(8192 * 1025, '\0')).mid(4)) +
                     pngChunk("IEND", {}),
                 false, within});
    rows.append({"bmp run-length just within", runLengthBmp(8192, 8192), false, within});
    QImage grey(within, QImage::Format_Grayscale8);
    grey.fill(128);
    rows.append({"jpeg just within", encoded(grey, "JPEG", 50), false, within});
    QImage mono(within, QImage::Format_Mono);
    mono.fill(0);
    rows.append({"tiff just within", encoded(mono, "TIFF"), false, within});
    rows.append(
        {"pbm just within", "P4\n8192 8192\n" + QByteArray(1024 * 8192, '\0'), false, within});
    return rows;
}

} // namespace kavelora::tests
