// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The PNG reader against Qt's own: every colour type, bit depth, filter and transparency
// decodes to the pixels QImageReader gives when not reduced, to an area average of them when
// reduced, and what Qt's reader refuses is refused.

#include "decoder/common/area_reducer.h"
#include "decoder/formats/png/png_reader.h"
#include "decoder/picture_decoder.h"
#include "loaded_picture.h"
#include "picture_fixtures.h"
#include "platform/runtime_error.h"
#include "seeded_random.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QTest>
#include <QtEndian>

#include <cstdlib>

using namespace kavelora;
using namespace kavelora::tests;

namespace {

enum ColourType { Gray = 0, Rgb = 2, Palette = 3, GrayAlpha = 4, Rgba = 6 };

int channelsOf(int colourType)
{
    return colourType == Rgb ? 3 : colourType == GrayAlpha ? 2 : colourType == Rgba ? 4 : 1;
}

QByteArray be32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

int predictor(int filter, int left, int above, int aboveLeft)
{
    switch (filter) {
    case 1:
        return left;
    case 2:
        return above;
    case 3:
        return (left + above) / 2;
    case 4: {
        const int estimate = left + above - aboveLeft;
        const int toLeft = std::abs(estimate - left);
        const int toAbove = std::abs(estimate - above);
        const int toAboveLeft = std::abs(estimate - aboveLeft);
        if (toLeft <= toAbove && toLeft <= toAboveLeft)
            return left;
        return toAbove <= toAboveLeft ? above : aboveLeft;
    }
    default:
        return 0;
    }
}

// A non-interlaced PNG of random samples (each below levels, at most 2^bitDepth), every row
// filtered with the next of the five filters; extraChunks go between the header and the data.
QByteArray randomPng(QSize size, int colourType, int bitDepth, const QByteArray& extraChunks,
                     int levels, quint64 seed = 1)
{
    SeededRandom random(seed);
    const qsizetype bitsPerPixel = channelsOf(colourType) * bitDepth;
    const qsizetype rowBytes = (size.width() * bitsPerPixel + 7) / 8;
    const int stride = std::max<int>(1, static_cast<int>(bitsPerPixel / 8));
    QByteArray previous(rowBytes, '\0');
    QByteArray data;
    for (int y = 0; y < size.height(); ++y) {
        QByteArray raw(rowBytes, '\0');
        const int samples = size.width() * channelsOf(colourType);
        for (int i = 0; i < samples; ++i) {
            const int sample = static_cast<int>(random.bounded(static_cast<quint32>(levels)));
            const qsizetype bit = i * bitDepth;
            if (bitDepth == 16) {
                raw[bit / 8] = static_cast<char>(sample >> 8);
                raw[bit / 8 + 1] = static_cast<char>(sample & 0xFF);
            } else {
                raw[bit / 8] =
                    static_cast<char>(raw[bit / 8] | (sample << (8 - bitDepth - bit % 8)));
            }
        }
        const int filter = y % 5;
        data += static_cast<char>(filter);
        for (qsizetype i = 0; i < rowBytes; ++i) {
            const auto at = [](const QByteArray& row, qsizetype index) {
                return index < 0 ? 0 : static_cast<uchar>(row[index]);
            };
            const int predicted =
                predictor(filter, at(raw, i - stride), at(previous, i), at(previous, i - stride));
            data += static_cast<char>(at(raw, i) - predicted);
        }
        previous = raw;
    }
    const QByteArray header = be32(static_cast<quint32>(size.width())) +
                              be32(static_cast<quint32>(size.height())) +
                              QByteArray(1, static_cast<char>(bitDepth)) +
                              QByteArray(1, static_cast<char>(colourType)) + QByteArray(3, '\0');
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + pngChunk("IHDR", header) + extraChunks +
           pngChunk("IDAT", qCompress(data).mid(4)) + pngChunk("IEND", {});
}

QByteArray paletteChunk(int entries)
{
    return pngChunk("PLTE", SeededRandom(7).bytes(3 * entries));
}

// What the loader made of a PNG before it had a reader of its own: Qt's, in sRGB.
QImage plainDecode(const QByteArray& png)
{
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    QImage image = reader.read();
    if (image.colorSpace().isValid() && image.colorSpace() != QColorSpace::SRgb)
        image.convertToColorSpace(QColorSpace::SRgb);
    return image;
}

// The kinds the reader decodes itself, by the chunks that make them.
void addColourKinds()
{
    QTest::addColumn<QByteArray>("png");
    const QSize odd(37, 23);
    QTest::newRow("gray 1-bit") << randomPng(odd, Gray, 1, {}, 2);
    QTest::newRow("gray 2-bit") << randomPng(odd, Gray, 2, {}, 4);
    QTest::newRow("gray 4-bit") << randomPng(odd, Gray, 4, {}, 16);
    QTest::newRow("gray 8-bit") << randomPng(odd, Gray, 8, {}, 256);
    QTest::newRow("gray 4-bit, one level transparent")
        << randomPng(odd, Gray, 4, pngChunk("tRNS", QByteArray("\0\x05", 2)), 16);
    QTest::newRow("gray 8-bit, one level transparent")
        << randomPng(odd, Gray, 8, pngChunk("tRNS", QByteArray("\0\x02", 2)), 4);
    QTest::newRow("gray with alpha") << randomPng(odd, GrayAlpha, 8, {}, 256);
    QTest::newRow("rgb") << randomPng(odd, Rgb, 8, {}, 256);
    QTest::newRow("rgb, one colour transparent")
        << randomPng(odd, Rgb, 8, pngChunk("tRNS", QByteArray("\0\1\0\0\0\1", 6)), 2);
    QTest::newRow("rgba") << randomPng(odd, Rgba, 8, {}, 256);
    QTest::newRow("palette 1-bit") << randomPng(odd, Palette, 1, paletteChunk(2), 2);
    QTest::newRow("palette 2-bit") << randomPng(odd, Palette, 2, paletteChunk(4), 4);
    QTest::newRow("palette 4-bit, shorter than the bits allow")
        << randomPng(odd, Palette, 4, paletteChunk(11), 11);
    QTest::newRow("palette indices past the palette")
        << randomPng(odd, Palette, 4, paletteChunk(5), 16);
    QTest::newRow("palette, transparency longer than the palette")
        << randomPng(odd, Palette, 2, paletteChunk(3) + pngChunk("tRNS", "\1\2\3\4"), 3);
    QTest::newRow("rgb, transparency of the wrong length")
        << randomPng(odd, Rgb, 8, pngChunk("tRNS", QByteArray(4, '\0')), 2);
    QTest::newRow("gamma chunk with a wrong CRC")
        << randomPng(odd, Rgb, 8, pngChunk("gAMA", be32(100000)).replace(12, 1, "\x55"), 256);
    QTest::newRow("long text chunk before the data") << randomPng(
        odd, Rgba, 8, pngChunk("tEXt", "Comment" + QByteArray(1, '\0') + QByteArray(70'000, 'x')),
        256);
    QTest::newRow("palette 8-bit") << randomPng(odd, Palette, 8, paletteChunk(256), 256);
    QTest::newRow("palette with transparent entries") << randomPng(
        odd, Palette, 8, paletteChunk(200) + pngChunk("tRNS", SeededRandom(3).bytes(90)), 200);
    QTest::newRow("gamma 1.0") << randomPng(odd, Rgb, 8, pngChunk("gAMA", be32(100000)), 256);
    QTest::newRow("gamma and primaries")
        << randomPng(odd, Rgb, 8,
                     pngChunk("gAMA", be32(45455)) +
                         pngChunk("cHRM", be32(31270) + be32(32900) + be32(64000) + be32(33000) +
                                              be32(30000) + be32(60000) + be32(15000) + be32(6000)),
                     256);
    QTest::newRow("srgb chunk") << randomPng(odd, Rgba, 8, pngChunk("sRGB", QByteArray(1, '\0')),
                                             256);
    QImage wide = noisePicture(odd, 5);
    wide.setColorSpace(QColorSpace::DisplayP3);
    QTest::newRow("embedded profile (Qt's writer)") << encoded(wide, "PNG");
    QTest::newRow("one pixel") << randomPng(QSize(1, 1), Rgb, 8, {}, 256);
    const QByteArray plain = randomPng(odd, Rgb, 8, {}, 256);
    const qsizetype data = plain.indexOf("IDAT") + 4;
    const QByteArray stream =
        plain.mid(data, qFromBigEndian<quint32>(plain.constData() + data - 8));
    QTest::newRow("end chunk cut off in its CRC") << plain.chopped(1);
    QTest::newRow("compressed data past the stream's end")
        << plain.left(data - 8) + pngChunk("IDAT", stream + "xyz") + pngChunk("IEND", {});
    const int rowsBytes = odd.height() * (1 + odd.width() * 3);
    const QByteArray longer =
        qCompress(qUncompress(be32(static_cast<quint32>(rowsBytes)) + stream) +
                  QByteArray(5000, '\7'))
            .mid(4);
    QTest::newRow("inflated data past the last row")
        << plain.left(data - 8) + pngChunk("IDAT", longer) + pngChunk("IEND", {});
}

std::optional<decoder::DecodedPicture> readAt(const QByteArray& png, QSize coverPixels)
{
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    return decoder::readPng(buffer, coverPixels);
}

} // namespace

class TstPngReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesQtWhenNotReduced_data() { addColourKinds(); }
    void matchesQtWhenNotReduced()
    {
        QFETCH(QByteArray, png);
        const QImage expected = plainDecode(png);
        QVERIFY(!expected.isNull());
        const auto decoded = readAt(png, expected.size());
        QVERIFY(decoded);
        QCOMPARE(decoded->ownSize, expected.size());
        QCOMPARE(decoded->image.convertToFormat(QImage::Format_ARGB32),
                 expected.convertToFormat(QImage::Format_ARGB32));
    }

    void reducedIsAnAreaAverage_data()
    {
        addColourKinds();
        QTest::newRow("rgb, 4000 x 8 to one fifth") << randomPng(QSize(4000, 8), Rgb, 8, {}, 256);
    }
    void reducedIsAnAreaAverage()
    {
        QFETCH(QByteArray, png);
        const QImage whole = plainDecode(png);
        for (int factor : {2, 3, 5}) {
            // Anything finer than the next factor up asks for this one.
            const QSize cover((whole.width() + factor) / (factor + 1) + 1,
                              (whole.height() + factor) / (factor + 1) + 1);
            if (decoder::areaReductionFactor(whole.size(), cover) != factor)
                continue;
            const auto decoded = readAt(png, cover);
            QVERIFY(decoded);
            const QImage expected = exactAreaAverage(whole, factor);
            QCOMPARE(decoded->image.size(), expected.size());
            QCOMPARE(decoded->ownSize, whole.size());
            const double quality = psnr(decoded->image, expected);
            if (quality < 45.0)
                QFAIL(qPrintable(QStringLiteral("factor %1: %2 dB").arg(factor).arg(quality)));
        }
    }

    void factorCoversTheTarget_data()
    {
        QTest::addColumn<QSize>("ownSize");
        QTest::addColumn<QSize>("cover");
        QTest::addColumn<int>("factor");
        QTest::newRow("12 MP photo in a 1000 x 700 window")
            << QSize(4000, 3000) << QSize(1000, 700) << 4;
        QTest::newRow("target as large as the picture") << QSize(640, 480) << QSize(640, 480) << 1;
        QTest::newRow("target larger than the picture") << QSize(640, 480) << QSize(800, 600) << 1;
        QTest::newRow("narrow side decides") << QSize(4000, 300) << QSize(400, 100) << 3;
        QTest::newRow("target one pixel short of half") << QSize(101, 101) << QSize(51, 51) << 1;
        QTest::newRow("no target") << QSize(8000, 8000) << QSize(0, 0) << 64;
    }
    void factorCoversTheTarget()
    {
        QFETCH(QSize, ownSize);
        QFETCH(QSize, cover);
        QFETCH(int, factor);
        QCOMPARE(decoder::areaReductionFactor(ownSize, cover), factor);
    }

    void refusesWhatQtRefuses_data()
    {
        QTest::addColumn<QByteArray>("png");
        QTest::addColumn<int>("error");
        const QByteArray good = randomPng(QSize(64, 48), Rgb, 8, {}, 256);
        const int invalid = int(platform::ErrorNumber::InvalidPicture);
        const qsizetype data = good.indexOf("IDAT") + 4;
        const QByteArray header = good.mid(8, 25);
        const QByteArray signature = good.left(8);

        QTest::newRow("cut off in the image data") << good.left(data + 500) << invalid;
        QByteArray flipped = good;
        flipped[data + 300] = static_cast<char>(flipped[data + 300] ^ 0x40);
        QTest::newRow("image data with a wrong CRC") << flipped << invalid;
        const QByteArray garbage = pngChunk("IDAT", SeededRandom(9).bytes(2000));
        QTest::newRow("image data that does not inflate")
            << signature + header + garbage + pngChunk("IEND", {}) << invalid;
        QTest::newRow("image data too short for the rows")
            << signature + header + pngChunk("IDAT", qCompress(QByteArray(100, '\0')).mid(4)) +
                   pngChunk("IEND", {})
            << invalid;
        QTest::newRow("unknown filter type")
            << signature + header +
                   pngChunk("IDAT", qCompress(QByteArray(48 * (1 + 64 * 3), '\5')).mid(4)) +
                   pngChunk("IEND", {})
            << invalid;
        QTest::newRow("no image data") << signature + header + pngChunk("IEND", {}) << invalid;
        const QByteArray stream =
            good.mid(data, qFromBigEndian<quint32>(good.constData() + data - 8));
        const QByteArray end = pngChunk("IEND", {});
        QTest::newRow("no end chunk") << good.chopped(end.size()) << invalid;
        QTest::newRow("cut off in the last CRC") << good.chopped(end.size() + 2) << invalid;
        QTest::newRow("text chunk after the data, no end chunk")
            << good.chopped(end.size()) + pngChunk("tEXt", QByteArray("a\0b", 3)) << invalid;
        QTest::newRow("zlib checksum missing")
            << signature + header + pngChunk("IDAT", stream.chopped(4)) + end << invalid;
        QTest::newRow("zlib checksum wrong")
            << signature + header + pngChunk("IDAT", stream.chopped(4) + QByteArray(4, '\0')) + end
            << invalid;
        // The two bytes before the compressed data, with their check bits made right.
        const auto withZlibHeader = [&](int method, int flags) {
            const int check = (31 - (method * 256 + flags) % 31) % 31;
            QByteArray changed = stream;
            changed[0] = static_cast<char>(method);
            changed[1] = static_cast<char>(flags | check);
            return signature + header + pngChunk("IDAT", changed) + end;
        };
        QTest::newRow("zlib header naming another method") << withZlibHeader(0x77, 0) << invalid;
        QTest::newRow("zlib window over 32 KiB") << withZlibHeader(0x88, 0) << invalid;
        QTest::newRow("zlib preset dictionary") << withZlibHeader(0x78, 0x20) << invalid;
        QByteArray wrongCheckBits = stream;
        wrongCheckBits[1] = static_cast<char>(wrongCheckBits[1] ^ 1);
        QTest::newRow("zlib header check bits wrong")
            << signature + header + pngChunk("IDAT", wrongCheckBits) + end << invalid;
        QByteArray badHeaderCrc = good;
        badHeaderCrc[29] = static_cast<char>(badHeaderCrc[29] ^ 1);
        QTest::newRow("header with a wrong CRC") << badHeaderCrc << invalid;
        QTest::newRow("palette picture without a palette")
            << randomPng(QSize(8, 8), Palette, 8, {}, 1) << invalid;
        QByteArray twelveBits = randomPng(QSize(8, 8), Gray, 8, {}, 256);
        twelveBits[24] = 12;
        twelveBits.replace(29, 4, be32(pngCrc(twelveBits.mid(12, 17))));
        QTest::newRow("12 bits a sample") << twelveBits << invalid;
        QByteArray strangeType = good;
        strangeType.insert(33, pngChunk("p\xC8Ys", "123456789"));
        QTest::newRow("chunk type not made of letters") << strangeType << invalid;
        QTest::newRow("unknown critical chunk before the data")
            << signature + header + pngChunk("ABCD", "x") + good.mid(33) << invalid;
        QByteArray huge = good;
        huge.replace(16, 8, be32(9000) + be32(9000));
        huge.replace(29, 4, be32(pngCrc(huge.mid(12, 17))));
        QTest::newRow("over the pixel cap") << huge << int(platform::ErrorNumber::OutOfMemory);
    }
    void refusesWhatQtRefuses()
    {
        QFETCH(QByteArray, png);
        QFETCH(int, error);
        if (error == int(platform::ErrorNumber::InvalidPicture))
            QVERIFY(plainDecode(png).isNull());
        try {
            readAt(png, QSize(16, 16));
            QFAIL("decoded");
        } catch (const platform::RuntimeError& refusal) {
            QCOMPARE(int(refusal.number()), error);
        }
    }

    void leavesInterlacedAndDeepToQt_data()
    {
        QTest::addColumn<QByteArray>("png");
        QByteArray interlaced = randomPng(QSize(8, 8), Rgb, 8, {}, 256);
        interlaced[28] = 1;
        interlaced.replace(29, 4, be32(pngCrc(interlaced.mid(12, 17))));
        QTest::newRow("interlaced") << interlaced;
        QTest::newRow("16 bits a sample") << randomPng(QSize(8, 8), Rgb, 16, {}, 65536);
    }
    void leavesInterlacedAndDeepToQt()
    {
        QFETCH(QByteArray, png);
        QBuffer buffer(&png);
        buffer.open(QIODevice::ReadOnly);
        buffer.seek(5);
        QVERIFY(!decoder::readPng(buffer, QSize(4, 4)));
        QCOMPARE(buffer.pos(), 5);
    }

    // The screen copy is reduced, and the picture gives its whole self when asked for it.
    void reducedPictureDecodesWholeAgain()
    {
        const QByteArray png = encoded(noisePicture(QSize(401, 300), 11), "PNG");
        const picture::Picture picture = kavelora::tests::loadedPicture(png, QSize(100, 75));
        QCOMPARE(picture.screenImage().size(), QSize(101, 75));
        QCOMPARE(picture.ownSize(), QSize(401, 300));
        const QImage whole = picture.decodeForSize(QSize(401, 300));
        QCOMPARE(whole.convertToFormat(QImage::Format_RGB32),
                 plainDecode(png).convertToFormat(QImage::Format_RGB32));
        QCOMPARE(picture.decodeForSize(QSize(100, 75)).size(), QSize(101, 75));
    }
};

QTEST_APPLESS_MAIN(TstPngReader)
#include "tst_png_reader.moc"
