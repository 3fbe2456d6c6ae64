// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The TIFF reader against Qt's own: the plain strip kinds decode to the pixels QImageReader
// gives when not reduced and to their area average when reduced; every other kind is left to
// Qt's reader, and a picture whose rows do not decode is refused as Qt's reader refuses it.

#include "decoder/formats/tiff/tiff_reader.h"
#include "decoder/picture_decoder.h"
#include "loaded_picture.h"
#include "picture_fixtures.h"
#include "platform/runtime_error.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <tiffio.h>

using namespace kavelora;
using namespace kavelora::tests;

namespace {

struct TiffKind
{
    int samples = 3; // 1 gray, 3 RGB, 4 RGB with alpha
    int bitsPerSample = 8;
    uint16_t compression = COMPRESSION_LZW;
    int rowsPerStrip = 16;
    bool tiled = false;
    uint16_t orientation = ORIENTATION_TOPLEFT;
};

// The TIFF of image's pixels (gray from its green) of kind, written by libtiff.
QByteArray tiffFile(const QImage& image, const TiffKind& kind)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("picture.tif"));
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height()));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, kind.bitsPerSample);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, kind.samples);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
                 kind.samples == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    if (kind.samples == 4) {
        const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, kind.compression);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, kind.orientation);
    const int bytesPerSample = kind.bitsPerSample / 8;
    const auto sampleRow = [&](int y) {
        QByteArray row;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            const int values[4] = {qRed(pixel), qGreen(pixel), qBlue(pixel), qAlpha(pixel)};
            for (int s = 0; s < kind.samples; ++s)
                row += QByteArray(bytesPerSample,
                                  static_cast<char>(values[kind.samples == 1 ? 1 : s]));
        }
        return row;
    };
    if (kind.tiled) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, 16);
        const qsizetype pixelBytes = kind.samples * bytesPerSample;
        for (int top = 0; top < image.height(); top += 16) {
            for (int left = 0; left < image.width(); left += 16) {
                QByteArray tile(16 * 16 * pixelBytes, '\0');
                for (int y = top; y < std::min(top + 16, image.height()); ++y) {
                    const QByteArray row = sampleRow(y);
                    const qsizetype count =
                        (std::min(left + 16, image.width()) - left) * pixelBytes;
                    tile.replace((y - top) * 16 * pixelBytes, count,
                                 row.mid(left * pixelBytes, count));
                }
                TIFFWriteTile(tiff, tile.data(), static_cast<uint32_t>(left),
                              static_cast<uint32_t>(top), 0, 0);
            }
        }
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, kind.rowsPerStrip);
        for (int y = 0; y < image.height(); ++y) {
            QByteArray row = sampleRow(y);
            TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0);
        }
    }
    TIFFClose(tiff);
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage plainDecode(const QByteArray& tiff)
{
    QBuffer buffer;
    buffer.setData(tiff);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer, "tiff").read();
}

std::optional<decoder::DecodedPicture> readAt(QByteArray tiff, QSize coverPixels)
{
    QBuffer buffer(&tiff);
    buffer.open(QIODevice::ReadOnly);
    return decoder::readTiff(buffer, coverPixels);
}

} // namespace

class TstTiffReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesQtAndItsAreaAverage_data()
    {
        QTest::addColumn<QByteArray>("tiff");
        const QImage photo = noisePicture(QSize(203, 151), 4);
        QTest::newRow("rgb, LZW") << tiffFile(photo, {});
        QTest::newRow("rgb, uncompressed, a row a strip")
            << tiffFile(photo, {3, 8, COMPRESSION_NONE, 1});
        QTest::newRow("rgb, deflate, one strip")
            << tiffFile(photo, {3, 8, COMPRESSION_ADOBE_DEFLATE, 151});
        QTest::newRow("gray, LZW") << tiffFile(photo, {1});
        QTest::newRow("gray, packbits") << tiffFile(photo, {1, 8, COMPRESSION_PACKBITS});
    }
    void matchesQtAndItsAreaAverage()
    {
        QFETCH(QByteArray, tiff);
        const QImage whole = plainDecode(tiff);
        QVERIFY(!whole.isNull());
        const auto same = readAt(tiff, whole.size());
        QVERIFY(same);
        QCOMPARE(same->image.convertToFormat(QImage::Format_RGB32),
                 whole.convertToFormat(QImage::Format_RGB32));
        for (int factor : {2, 3, 7}) {
            const auto reduced =
                readAt(tiff, QSize(whole.width() / factor, whole.height() / factor));
            QVERIFY(reduced);
            QCOMPARE(reduced->ownSize, whole.size());
            const QImage expected = exactAreaAverage(whole, factor);
            QCOMPARE(reduced->image.size(), expected.size());
            // Only the rounding of each average may differ.
            QVERIFY2(psnr(reduced->image, expected) >= 50.0, qPrintable(QString::number(factor)));
        }
    }

    void leavesOtherKindsToQt_data()
    {
        QTest::addColumn<QByteArray>("tiff");
        const QImage photo = noisePicture(QSize(40, 30), 5);
        QTest::newRow("tiled") << tiffFile(photo, {3, 8, COMPRESSION_LZW, 16, true});
        QTest::newRow("with alpha") << tiffFile(photo, {4});
        QTest::newRow("16 bits a sample") << tiffFile(photo, {3, 16});
        QTest::newRow("stored upside down")
            << tiffFile(photo, {3, 8, COMPRESSION_LZW, 16, false, ORIENTATION_BOTLEFT});
    }
    void leavesOtherKindsToQt()
    {
        QFETCH(QByteArray, tiff);
        QBuffer buffer(&tiff);
        buffer.open(QIODevice::ReadOnly);
        buffer.seek(7);
        QVERIFY(!decoder::readTiff(buffer, QSize(4, 4)));
        QCOMPARE(buffer.pos(), 7);
    }

    void refusesRowsThatDoNotDecode()
    {
        const QByteArray tiff = tiffFile(noisePicture(QSize(64, 64), 6), {});
        // The strips lie between the header and the directory at the end.
        QByteArray broken = tiff;
        for (qsizetype i = 200; i < 4000; ++i)
            broken[i] = static_cast<char>(0xFF);
        QVERIFY(plainDecode(broken).isNull());
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, readAt(broken, QSize(8, 8)));
    }

    void reducedPictureDecodesWholeAgain()
    {
        const QByteArray tiff = tiffFile(noisePicture(QSize(401, 300), 7), {});
        const picture::Picture picture = kavelora::tests::loadedPicture(tiff, QSize(100, 75));
        QCOMPARE(picture.screenImage().size(), QSize(101, 75));
        QCOMPARE(picture.decodeForSize(QSize(401, 300)).convertToFormat(QImage::Format_RGB32),
                 plainDecode(tiff).convertToFormat(QImage::Format_RGB32));
    }
};

QTEST_APPLESS_MAIN(TstTiffReader)
#include "tst_tiff_reader.moc"
