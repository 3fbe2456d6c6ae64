// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "byte_fields.h"
#include "codec_samples.h"
#include "picture_fixtures.h"
#include "png_samples.h"
#include "reader_contract_samples.h"
#include "seeded_random.h"
#include "tool_encodings.h"

#include <QColorSpace>
#include <QtEndian>

namespace kavelora::tests {

namespace {

ContractPicture byQt(const QByteArray& name, const QByteArray& bytes, const char* format)
{
    return {name, bytes, format, {}};
}

// The kinds the PNG reader decodes itself, by the chunks that make them.
void addPngKinds(QList<ContractPicture>& rows)
{
    const QSize odd(37, 23);
    const auto add = [&rows](const char* kind, const QByteArray& png) {
        rows.append(byQt(QByteArray("png ") + kind, png, "png"));
    };
    add("gray 1-bit", randomPng(odd, Gray, 1, {}, 2));
    add("gray 2-bit", randomPng(odd, Gray, 2, {}, 4));
    add("gray 4-bit", randomPng(odd, Gray, 4, {}, 16));
    add("gray 8-bit", randomPng(odd, Gray, 8, {}, 256));
    add("gray 4-bit, one level transparent",
        randomPng(odd, Gray, 4, pngChunk("tRNS", QByteArray("\0\x05", 2)), 16));
    add("gray 8-bit, one level transparent",
        randomPng(odd, Gray, 8, pngChunk("tRNS", QByteArray("\0\x02", 2)), 4));
    add("gray with alpha", randomPng(odd, GrayAlpha, 8, {}, 256));
    add("rgb", randomPng(odd, Rgb, 8, {}, 256));
    add("rgb, one colour transparent",
        randomPng(odd, Rgb, 8, pngChunk("tRNS", QByteArray("\0\1\0\0\0\1", 6)), 2));
    add("rgba", randomPng(odd, Rgba, 8, {}, 256));
    add("palette 1-bit", randomPng(odd, Palette, 1, paletteChunk(2), 2));
    add("palette 2-bit", randomPng(odd, Palette, 2, paletteChunk(4), 4));
    add("palette 4-bit, shorter than the bits allow",
        randomPng(odd, Palette, 4, paletteChunk(11), 11));
    add("palette indices past the palette", randomPng(odd, Palette, 4, paletteChunk(5), 16));
    add("palette, transparency longer than the palette",
        randomPng(odd, Palette, 2, paletteChunk(3) + pngChunk("tRNS", "\1\2\3\4"), 3));
    add("rgb, transparency of the wrong length",
        randomPng(odd, Rgb, 8, pngChunk("tRNS", QByteArray(4, '\0')), 2));
    add("gamma chunk with a wrong CRC",
        randomPng(odd, Rgb, 8, pngChunk("gAMA", be32(100000)).replace(12, 1, "\x55"), 256));
    add("long text chunk before the data",
        randomPng(odd, Rgba, 8,
                  pngChunk("tEXt", "Comment" + QByteArray(1, '\0') + QByteArray(70'000, 'x')),
                  256));
    add("palette 8-bit", randomPng(odd, Palette, 8, paletteChunk(256), 256));
    add("palette with transparent entries",
        randomPng(odd, Palette, 8, paletteChunk(200) + pngChunk("tRNS", SeededRandom(3).bytes(90)),
                  200));
    add("gamma 1.0", randomPng(odd, Rgb, 8, pngChunk("gAMA", be32(100000)), 256));
    add("gamma and primaries",
        randomPng(odd, Rgb, 8,
                  pngChunk("gAMA", be32(45455)) +
                      pngChunk("cHRM", be32(31270) + be32(32900) + be32(64000) + be32(33000) +
                                           be32(30000) + be32(60000) + be32(15000) + be32(6000)),
                  256));
    add("srgb chunk", randomPng(odd, Rgba, 8, pngChunk("sRGB", QByteArray(1, '\0')), 256));
    QImage wide = noisePicture(odd, 5);
    wide.setColorSpace(QColorSpace::DisplayP3);
    add("embedded profile (Qt's writer)", encoded(wide, "PNG"));
    add("one pixel", randomPng(QSize(1, 1), Rgb, 8, {}, 256));
    const QByteArray plain = randomPng(odd, Rgb, 8, {}, 256);
    const qsizetype data = plain.indexOf("IDAT") + 4;
    const QByteArray stream =
        plain.mid(data, qFromBigEndian<quint32>(plain.constData() + data - 8));
    add("end chunk cut off in its CRC", plain.chopped(1));
    add("compressed data past the stream's end",
        plain.left(data - 8) + pngChunk("IDAT", stream + "xyz") + pngChunk("IEND", {}));
    const int rowsBytes = odd.height() * (1 + odd.width() * 3);
    const QByteArray longer =
        qCompress(qUncompress(be32(static_cast<quint32>(rowsBytes)) + stream) +
                  QByteArray(5000, '\7'))
            .mid(4);
    add("inflated data past the last row",
        plain.left(data - 8) + pngChunk("IDAT", longer) + pngChunk("IEND", {}));
}

void addGifKinds(QList<ContractPicture>& rows)
{
    const auto add = [&rows](const char* kind, const QByteArray& gif) {
        ContractPicture row = byQt(QByteArray("gif ") + kind, gif, "gif");
        row.sameFormat = true;
        rows.append(row);
    };
    add("1-bit table, 7 x 5", encodedGif(still(QSize(7, 5), 2)));
    add("2-bit table, 33 x 17", encodedGif(still(QSize(33, 17), 4)));
    add("4-bit table, one row", encodedGif(still(QSize(64, 1), 16)));
    add("8-bit table, 301 x 203", encodedGif(still(QSize(301, 203), 256)));
    add("one pixel", encodedGif(still(QSize(1, 1), 2)));
    GifLayout local = still(QSize(40, 30), 4);
    local.localColours = 16;
    add("local table over the global one", encodedGif(local));
    local.globalColours = 0;
    add("local table alone", encodedGif(local));
    add("transparent index", encodedGif(transparent(still(QSize(31, 9), 16), 3)));
    add("transparent index past the table", encodedGif(transparent(still(QSize(31, 9), 4), 200)));
    add("control block without transparency", encodedGif(transparent(still(QSize(31, 9), 16), -1)));
    add("indices past the table", indicesPastTable(false));
    add("indices past the table, with transparency", indicesPastTable(true));
    const QByteArray plain = encodedGif(still(QSize(50, 20), 8));
    add("no trailer", plain.chopped(1));
    add("bytes after the trailer", plain + QByteArray(100, 'x'));
    add("comment and application extension first",
        withBlockFirst(plain, 8,
                       QByteArray("\x21\xFE\x03"
                                  "abc\x00",
                                  7) +
                           QByteArray("\x21\xFF\x0B"
                                      "NETSCAPE2.0\x03\x01\x00\x00\x00",
                                      19)));
    add("more pixels than the image",
        claimingSize(encodedGif(still(QSize(50, 20), 8)), 8, QSize(50, 15)));
}

// Sides divisible by 8, so that Qt's reader picks the same libjpeg scale.
const QSize kJpegSize(96, 64);

QList<QPair<QByteArray, QByteArray>> jpegKinds()
{
    const QByteArray colour = encoded(detailedPhoto(kJpegSize), "JPEG", 90);
    QList<QPair<QByteArray, QByteArray>> kinds{
        {"colour", colour},
        {"progressive", encodedProgressive(detailedPhoto(kJpegSize))},
        {"grey", encoded(detailedPhoto(kJpegSize, QImage::Format_Grayscale8), "JPEG", 90)},
        {"cmyk", libjpegFile(kJpegSize, 4, JCS_CMYK, JCS_CMYK)},
        {"ycck", libjpegFile(kJpegSize, 4, JCS_CMYK, JCS_YCCK)},
        {"cut short", colour.left(colour.size() * 2 / 3)}};
    for (int orientation = 1; orientation <= 8; ++orientation)
        kinds.append({"exif orientation " + QByteArray::number(orientation),
                      withExifOrientation(colour, orientation)});
    return kinds;
}

void addJpegKinds(QList<ContractPicture>& rows)
{
    QList<QPair<QByteArray, QByteArray>> kinds = jpegKinds();
    kinds.append({"odd sides", encoded(detailedPhoto(QSize(97, 61)), "JPEG", 90)});
    for (const auto& [kind, bytes] : kinds) {
        ContractPicture row = byQt("jpeg " + kind, bytes, "jpeg");
        row.sameFormat = true;
        rows.append(row);
    }
}

QList<QPair<QByteArray, QByteArray>> tiffKinds()
{
    const QImage photo = noisePicture(QSize(203, 151), 4);
    return {{"rgb, LZW", tiffFile(photo, {})},
            {"rgb, uncompressed, a row a strip", tiffFile(photo, {3, 8, COMPRESSION_NONE, 1})},
            {"rgb, deflate, one strip", tiffFile(photo, {3, 8, COMPRESSION_ADOBE_DEFLATE, 151})},
            {"gray, LZW", tiffFile(photo, {1})},
            {"gray, packbits", tiffFile(photo, {1, 8, COMPRESSION_PACKBITS})}};
}

struct WebpKind
{
    QByteArray name;
    QByteArray bytes;
    bool alpha;
    // libwebp scales a lossy picture in YUV, before turning it to RGB, and rounds each of its
    // steps: further from an average of the RGB pixels than the lossless path.
    double minimumDb;
};

QList<WebpKind> webpKinds()
{
    QList<WebpKind> kinds;
    for (const QSize size : {QSize(240, 120), QSize(203, 151)}) {
        const QByteArray sides =
            QByteArray::number(size.width()) + " x " + QByteArray::number(size.height());
        for (const bool lossless : {false, true}) {
            for (const bool alpha : {false, true}) {
                kinds.append({QByteArray(lossless ? "lossless" : "lossy") +
                                  (alpha ? " with alpha, " : ", ") + sides,
                              webpFile(softPhoto(size, alpha), lossless), alpha,
                              lossless ? 45.0 : 33.0});
            }
        }
    }
    kinds.append({"one pixel", webpFile(softPhoto(QSize(1, 1), false), true), false, 99.0});
    return kinds;
}

// Pictures of the formats Qt's readers decode, written by Qt's writers.
void addQtReadKinds(QList<ContractPicture>& rows)
{
    const QImage photo = noisePicture(QSize(45, 31), 21);
    QImage icon = noisePicture(QSize(32, 32), 22).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x)
            icon.setPixel(x, y, qRgba(200, 40, 20, x * 8));
    }
    const QImage twoColours = twoHalves(QSize(21, 13), colour::kRed, colour::kBlue);
    const QImage mono = twoColours.convertToFormat(QImage::Format_Mono);
    rows.append(byQt("bmp", encoded(photo, "BMP"), "bmp"));
    rows.append(byQt("ico", encoded(icon, "ICO"), "ico"));
    QByteArray cursor = encoded(icon, "ICO");
    cursor[2] = 2;
    rows.append(byQt("cur", cursor, "cur"));
    rows.append(byQt("xpm", encoded(twoColours, "XPM"), "xpm"));
    rows.append(byQt("xbm", encoded(mono, "XBM"), "xbm"));
    rows.append(byQt("pbm", encoded(mono, "PBM"), "pbm"));
    rows.append(
        byQt("pgm", encoded(photo.convertToFormat(QImage::Format_Grayscale8), "PGM"), "pgm"));
    rows.append(byQt("ppm", encoded(photo, "PPM"), "ppm"));
}

// Drawing and printing never work on copies several times a picture's size.
void addDeepKinds(QList<ContractPicture>& rows)
{
    const auto add = [&rows](const char* name, QImage::Format written, const char* format,
                             QImage::Format decoded) {
        const QImage source =
            twoHalves(QSize(24, 16), qRgb(32, 32, 32), qRgb(224, 224, 224), written);
        ContractPicture row = byQt(name, encoded(source, format), format);
        row.format = decoded;
        rows.append(row);
    };
    add("png 16-bit grey", QImage::Format_Grayscale16, "png", QImage::Format_Grayscale8);
    add("tiff 16-bit grey", QImage::Format_Grayscale16, "tiff", QImage::Format_Grayscale8);
    add("png 16-bit rgba", QImage::Format_RGBA64, "png", QImage::Format_ARGB32);
    add("png 16-bit rgb", QImage::Format_RGBX64, "png", QImage::Format_RGB32);
    add("png 8-bit grey keeps its format", QImage::Format_Grayscale8, "png",
        QImage::Format_Grayscale8);
    // Qt's reader tells the first image's empty size but decodes the 17-pixel-wide screen:
    // the picture's own size, on which printing and resizing depend, is what was decoded.
    rows.append(byQt("gif whose first image is empty",
                     QByteArray::fromBase64("R0lGODlhEQAI/fAAAAD/AAP+BywAAAAAAQAAAAAAAAByU4VSAAA7"),
                     "gif"));
}

} // namespace

QList<ContractPicture> wholePictures(const QString& folder)
{
    QList<ContractPicture> rows;
    addPngKinds(rows);
    addGifKinds(rows);
    addJpegKinds(rows);
    for (const auto& [kind, bytes] : tiffKinds())
        rows.append(byQt("tiff " + kind, bytes, "tiff"));
    for (const WebpKind& kind : webpKinds()) {
        ContractPicture row = byQt("webp " + kind.name, kind.bytes, "webp");
        row.alpha = kind.alpha ? 1 : 0;
        rows.append(row);
    }
    addQtReadKinds(rows);
    addDeepKinds(rows);
    for (const QString& format : {u"heif"_qs, u"avif"_qs, u"jxl"_qs}) {
        const QImage source = quadrants();
        rows.append({format.toLatin1() + " lossless",
                     encodedByTool(format, source, losslessOptions(format), folder),
                     {},
                     source,
                     true});
    }
    return rows;
}

QList<ReducedPicture> areaReducedPictures()
{
    QList<ReducedPicture> rows;
    QList<ContractPicture> png;
    addPngKinds(png);
    for (const ContractPicture& kind : png)
        rows.append({kind.name, kind.bytes, "png", {2, 3, 5}, false, 45.0});
    rows.append({"png rgb, 4000 x 8 to one fifth",
                 randomPng(QSize(4000, 8), Rgb, 8, {}, 256),
                 "png",
                 {2, 3, 5},
                 false,
                 45.0});
    const QList<QPair<QByteArray, QByteArray>> gifs{
        {"8-bit table, 240 x 120", encodedGif(still(QSize(240, 120), 256))},
        {"transparent, 203 x 151", encodedGif(transparent(still(QSize(203, 151), 16), 5))},
        {"indices past the table, with transparency", indicesPastTable(true)},
        {"2-bit table, 1000 x 7", encodedGif(still(QSize(1000, 7), 4))}};
    for (const auto& [kind, bytes] : gifs)
        rows.append({"gif " + kind, bytes, "gif", {2, 3, 5}, false, 50.0, false, true});
    // Only the rounding of each average may differ.
    for (const auto& [kind, bytes] : tiffKinds())
        rows.append({"tiff " + kind, bytes, "tiff", {2, 3, 7}, true, 50.0});
    for (const WebpKind& kind : webpKinds())
        rows.append(
            {"webp " + kind.name, kind.bytes, "webp", {2, 3, 4}, true, kind.minimumDb, true});
    return rows;
}

QList<QPair<ContractPicture, int>> scaledJpegs()
{
    QList<QPair<ContractPicture, int>> rows;
    const auto add = [&rows](const QByteArray& kind, const QByteArray& bytes, int denominator) {
        ContractPicture row =
            byQt("jpeg " + kind + ", 1/" + QByteArray::number(denominator), bytes, "jpeg");
        row.sameFormat = true;
        rows.append({row, denominator});
    };
    for (const auto& [kind, bytes] : jpegKinds()) {
        const bool everyScale = kind == "colour" || kind == "progressive";
        for (int denominator : {2, 4, 8}) {
            if (everyScale || denominator == (kind == "grey" || kind == "cut short" ? 4 : 2))
                add(kind, bytes, denominator);
        }
    }
    add("rgb without subsampling", libjpegFile(kJpegSize, 3, JCS_RGB, JCS_RGB), 2);
    QImage wide = detailedPhoto(kJpegSize);
    wide.setColorSpace(QColorSpace::DisplayP3);
    add("colour profile", encoded(wide, "JPEG", 90), 2);
    return rows;
}

} // namespace kavelora::tests
