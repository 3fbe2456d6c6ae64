// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// BMPs that Qt's reader refuses or leaves partly unset, as the loader shows them: run-length
// coded ones whose runs skip pixels, and ones with the 52- and 56-byte bit-field headers.

#include "byte_fields.h"
#include "decoder/picture_decoder.h"
#include "future_result.h"
#include "picture/helper/helper_decoding.h"
#include "picture/load_picture.h"
#include "picture_fixtures.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"
#include "test_files.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace kavelora;
using namespace kavelora::tests;
using namespace kavelora::tests::colour;
using platform::ErrorNumber;
using platform::RuntimeError;

Q_DECLARE_METATYPE(platform::ErrorNumber)

namespace {

constexpr QRgb kClear = 0;
// Asked of the loader where a test reads every pixel: BMPs are never decoded smaller anyway.
const QSize kWholePicture(4096, 4096);

// Red, green, blue and white, as indices 0 to 3.
const QByteArray kPalette = QByteArray::fromHex("0000ff0000ff0000ff000000ffffff00");

// A 4 x 3 run-length BMP over kPalette; runs are given bottom row first.
QByteArray runLength(int bitsPerPixel, const char* runsHex, qint32 height = 3)
{
    return bmpFile(40, 4, height, static_cast<quint16>(bitsPerPixel), bitsPerPixel == 8 ? 1 : 2, {},
                   kPalette, QByteArray::fromHex(runsHex));
}

decoder::DecodedPicture decoded(const QByteArray& bytes)
{
    return decoder::decodePicture(bytes, QSize(800, 600));
}

// The largest value of the field under mask (not 0), and that field's value in pixel.
quint32 fieldMax(quint32 mask)
{
    while ((mask & 1) == 0)
        mask >>= 1;
    return mask;
}

quint32 fieldValue(quint32 pixel, quint32 mask)
{
    while ((mask & 1) == 0) {
        mask >>= 1;
        pixel >>= 1;
    }
    return pixel & mask;
}

} // namespace

class TstBmpReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesRunLengthPixels_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<QRgb>>("topDown");
        QTest::newRow("rle8 runs set every pixel")
            << runLength(8, "0400 0000 0201 0202 0000 0403 0001")
            << QList<QRgb>{kWhite, kWhite, kWhite, kWhite, kGreen, kGreen,
                           kBlue,  kBlue,  kRed,   kRed,   kRed,   kRed};
        QTest::newRow("rle8 jump skips pixels, transparent")
            << runLength(8, "0100 00020201 0103 0000 0402 0001")
            << QList<QRgb>{kBlue,  kBlue,  kBlue, kBlue,  kClear, kClear,
                           kClear, kWhite, kRed,  kClear, kClear, kClear};
        QTest::newRow("rle8 end of row leaves its rest transparent")
            << runLength(8, "0101 0000 0302 0000 0001")
            << QList<QRgb>{kClear, kClear, kClear, kClear, kBlue,  kBlue,
                           kBlue,  kClear, kGreen, kClear, kClear, kClear};
        QTest::newRow("rle8 end of picture leaves the rows above transparent")
            << runLength(8, "0403 0001")
            << QList<QRgb>{kClear, kClear, kClear, kClear, kClear, kClear,
                           kClear, kClear, kWhite, kWhite, kWhite, kWhite};
        QTest::newRow("rle8 literal of odd length, padded")
            << runLength(8, "0003 03020100 0100 0000 0001")
            << QList<QRgb>{kClear, kClear, kClear, kClear, kClear, kClear,
                           kClear, kClear, kWhite, kBlue,  kGreen, kRed};
        QTest::newRow("rle8 index past the palette is black")
            << runLength(8, "0409 0001")
            << QList<QRgb>{kClear, kClear, kClear, kClear, kClear, kClear,
                           kClear, kClear, kBlack, kBlack, kBlack, kBlack};
        QTest::newRow("rle8 last row full without an end mark")
            << runLength(8, "0400 0000 0401 0000 0402")
            << QList<QRgb>{kBlue,  kBlue,  kBlue, kBlue, kGreen, kGreen,
                           kGreen, kGreen, kRed,  kRed,  kRed,   kRed};
        QTest::newRow("rle4 run alternates its two nibbles")
            << runLength(4, "0412 0000 0330 0000 0001")
            << QList<QRgb>{kClear, kClear, kClear, kClear, kWhite, kRed,
                           kWhite, kClear, kGreen, kBlue,  kGreen, kBlue};
        QTest::newRow("rle4 literal of odd count, jump, run")
            << runLength(4, "0003 3210 0000 00020101 0100 0001")
            << QList<QRgb>{kClear, kRed,   kClear, kClear, kClear, kClear,
                           kClear, kClear, kWhite, kBlue,  kGreen, kClear};
    }

    void decodesRunLengthPixels()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<QRgb>, topDown);
        const QImage image = decoded(bytes).image;
        QCOMPARE(image.size(), QSize(4, 3));
        const bool skips = topDown.contains(kClear);
        QCOMPARE(image.format(), skips ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 4; ++x) {
                const QRgb expected = topDown[y * 4 + x];
                QCOMPARE(qAlpha(image.pixel(x, y)), qAlpha(expected));
                if (expected != kClear)
                    QCOMPARE(image.pixel(x, y), expected);
            }
        }
    }

    void refusesBrokenRunLength_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<ErrorNumber>("number");
        const ErrorNumber invalid = ErrorNumber::InvalidPicture;
        QTest::newRow("run past the row") << runLength(8, "0500 0001") << invalid;
        QTest::newRow("rle4 run past the row") << runLength(4, "0512 0001") << invalid;
        QTest::newRow("literal past the row") << runLength(8, "0005 0000000000 00 0001") << invalid;
        QTest::newRow("literal past the data") << runLength(8, "00ff 0102") << invalid;
        QTest::newRow("jump past the right edge") << runLength(8, "0200 00020300 0001") << invalid;
        QTest::newRow("jump past the top") << runLength(8, "00020003 0001") << invalid;
        QTest::newRow("jump cut off") << runLength(8, "0400 000201") << invalid;
        QTest::newRow("data cut off before the end") << runLength(8, "0400 0000 0400") << invalid;
        QTest::newRow("no runs at all") << runLength(8, "") << invalid;
        QTest::newRow("top-down rows")
            << bmpFile(40, 4, -3, 8, 1, {}, kPalette, QByteArray::fromHex("04000001")) << invalid;
        QTest::newRow("rle4 on 8-bit pixels")
            << bmpFile(40, 4, 3, 8, 2, {}, kPalette, QByteArray::fromHex("04000001")) << invalid;
        QTest::newRow("rle8 on 24-bit pixels")
            << bmpFile(40, 4, 3, 24, 1, {}, kPalette, QByteArray::fromHex("04000001")) << invalid;
        QByteArray paletteClaim = runLength(8, "04000001");
        paletteClaim.replace(46, 4, le32(200));
        QTest::newRow("palette past the end of the file") << paletteClaim << invalid;
        QByteArray offsetClaim = runLength(8, "04000001");
        offsetClaim.replace(10, 4, le32(0xFFFFFFF0));
        QTest::newRow("pixels past the end of the file") << offsetClaim << invalid;
    }

    void refusesBrokenRunLength()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(ErrorNumber, number);
        try {
            const QImage image = decoded(bytes).image;
            QFAIL(qPrintable(
                QStringLiteral("decoded as %1 x %2").arg(image.width()).arg(image.height())));
        } catch (const RuntimeError& error) {
            QCOMPARE(error.number(), static_cast<int>(number));
        }
    }

    void decodesBitFieldHeaders_data()
    {
        QTest::addColumn<quint32>("headerBytes");
        QTest::addColumn<int>("bitsPerPixel");
        QTest::addColumn<QList<quint32>>("masks");
        QTest::addColumn<QList<quint32>>("pixels");
        const QList<quint32> pixels565{0xF800, 0x07E0, 0x001F, 0x8410};
        QTest::newRow("52 bytes, 16 bits 5-6-5")
            << 52u << 16 << QList<quint32>{0xF800, 0x07E0, 0x001F} << pixels565;
        QTest::newRow("56 bytes, 16 bits 5-6-5, no alpha mask")
            << 56u << 16 << QList<quint32>{0xF800, 0x07E0, 0x001F, 0} << pixels565;
        QTest::newRow("52 bytes, 16 bits 5-5-5")
            << 52u << 16 << QList<quint32>{0x7C00, 0x03E0, 0x001F}
            << QList<quint32>{0x7C00, 0x03E0, 0x001F, 0x4210};
        QTest::newRow("56 bytes, 16 bits 1-5-5-5")
            << 56u << 16 << QList<quint32>{0x7C00, 0x03E0, 0x001F, 0x8000}
            << QList<quint32>{0xFC00, 0x83E0, 0x001F, 0x4210};
        QTest::newRow("52 bytes, 16 bits 4-4-4")
            << 52u << 16 << QList<quint32>{0x0F00, 0x00F0, 0x000F}
            << QList<quint32>{0x0F00, 0x00F0, 0x000F, 0x0888};
        QTest::newRow("56 bytes, 16 bits 4-4-4-4")
            << 56u << 16 << QList<quint32>{0x0F00, 0x00F0, 0x000F, 0xF000}
            << QList<quint32>{0xFF00, 0x80F0, 0x000F, 0xF888};
        QTest::newRow("52 bytes, 32 bits")
            << 52u << 32 << QList<quint32>{0x00FF0000, 0x0000FF00, 0x000000FF}
            << QList<quint32>{0x00FF0000, 0x0000FF00, 0x000000FF, 0x00804020};
        QTest::newRow("56 bytes, 32 bits with alpha")
            << 56u << 32 << QList<quint32>{0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}
            << QList<quint32>{0xFFFF0000, 0x800000FF, 0x00000000, 0x40804020};
        QTest::newRow("56 bytes, 32 bits, channels in other places")
            << 56u << 32 << QList<quint32>{0x000000FF, 0x00FF0000, 0xFF000000, 0x0000FF00}
            << QList<quint32>{0x0000FFFF, 0x00FFFF00, 0xFF000000, 0x80402010};
    }

    // The masks decide every channel; a field's largest value is full strength, within the
    // truncated scaling that Qt's reader gives the 108- and 124-byte headers too.
    void decodesBitFieldHeaders()
    {
        QFETCH(quint32, headerBytes);
        QFETCH(int, bitsPerPixel);
        QFETCH(QList<quint32>, masks);
        QFETCH(QList<quint32>, pixels);
        // Two rows of two, bottom row first, each row 4 or 8 bytes.
        QByteArray data;
        for (int index : {2, 3, 0, 1}) {
            data += bitsPerPixel == 16 ? le16(pixels[index]) : le32(pixels[index]);
        }
        const QImage image = decoded(bmpFile(headerBytes, 2, 2, static_cast<quint16>(bitsPerPixel),
                                             3, masks, {}, data))
                                 .image;
        QCOMPARE(image.size(), QSize(2, 2));

        const quint32 alphaMask = masks.size() == 4 ? masks[3] : 0;
        for (int i = 0; i < 4; ++i) {
            const QRgb seen = image.pixel(i % 2, i / 2);
            if (alphaMask == 0) {
                QCOMPARE(qAlpha(seen), 255);
            }
            const QList<int> seenChannels{qRed(seen), qGreen(seen), qBlue(seen), qAlpha(seen)};
            for (int c = 0; c < 4; ++c) {
                const quint32 mask = masks.value(c);
                // The colour of a fully transparent pixel is not defined.
                if (mask == 0 || (c < 3 && qAlpha(seen) == 0))
                    continue;
                const auto expected =
                    static_cast<int>(fieldValue(pixels[i], mask) * 255 / fieldMax(mask));
                const auto step = static_cast<int>(256 / (fieldMax(mask) + 1));
                const int seenValue = seenChannels[c];
                QVERIFY2(seenValue <= expected && expected - seenValue < std::max(step, 1),
                         qPrintable(QStringLiteral("pixel %1 channel %2: %3, expected %4")
                                        .arg(i)
                                        .arg(c)
                                        .arg(seenValue)
                                        .arg(expected)));
            }
        }
    }

    // Without bit-field compression the masks are ignored: 32 bits are blue, green, red, unused.
    void decodesUncompressedVersion3Header()
    {
        const QByteArray file =
            bmpFile(56, 2, 1, 32, 0, {0, 0, 0, 0}, {}, QByteArray::fromHex("0000ff00ff000000"));
        const QImage image = decoded(file).image;
        QCOMPARE(image.size(), QSize(2, 1));
        QCOMPARE(image.pixel(0, 0), kRed);
        QCOMPARE(image.pixel(1, 0), kBlue);
    }

    // A file past the loader's head goes through the file path, which must read it whole.
    void loadsLargeBitFieldFile()
    {
        constexpr int kWidth = 200;
        constexpr int kHeight = 100;
        QByteArray data;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x)
                data += le32(x < kWidth / 2 ? 0xFF0000FFu : 0x8000FF00u);
        }
        const QByteArray file = bmpFile(56, kWidth, kHeight, 32, 3,
                                        {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}, {}, data);
        QVERIFY(file.size() > protocol::kPictureHeadBytes);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path =
            writeFixture(QDir(folder.path()), QStringLiteral("version3.bmp"), file);
        const QImage image = kavelora::tests::resultOf(
                                 picture::LoadPicture(std::make_shared<picture::HelperDecoding>(),
                                                      path, kWholePicture))
                                 .screenImage();
        QCOMPARE(image.size(), QSize(kWidth, kHeight));
        QCOMPARE(image.pixel(10, 10), kBlue);
        QCOMPARE(image.pixel(150, 90), qRgba(0, 255, 0, 128));
    }

    // A real 56-byte-header file with the picture it shows beside it, from gdk-pixbuf's tests.
    void matchesReferencePicture()
    {
        const QString path = QStringLiteral(
            "/usr/libexec/installed-tests/gdk-pixbuf/test-images/reftests/mandatory-bitmasks.bmp");
        if (!QFile::exists(path))
            QSKIP("gdk-pixbuf-tests is not installed");
        const QImage reference(path + QStringLiteral(".ref.png"));
        QVERIFY(!reference.isNull());
        const QImage image = kavelora::tests::resultOf(
                                 picture::LoadPicture(std::make_shared<picture::HelperDecoding>(),
                                                      path, kWholePicture))
                                 .screenImage();
        const auto premultiplied = QImage::Format_ARGB32_Premultiplied;
        QCOMPARE(image.convertToFormat(premultiplied), reference.convertToFormat(premultiplied));
    }
};

QTEST_GUILESS_MAIN(TstBmpReader)
#include "tst_bmp_reader.moc"
