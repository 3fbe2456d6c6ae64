// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// What the decoder hands on: pictures deeper than 8 bits per channel are reduced to 8 bits,
// so that drawing and printing them never works on copies several times their size.

#include "decoder/picture_decoder.h"
#include "picture_fixtures.h"

#include <QTest>

using namespace kavelora;
using namespace kavelora::tests;

Q_DECLARE_METATYPE(QImage::Format)

class TstPictureDecoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reducesDeepPicturesToEightBits_data()
    {
        QTest::addColumn<QImage::Format>("written");
        QTest::addColumn<QByteArray>("fileFormat");
        QTest::addColumn<QImage::Format>("decoded");
        QTest::newRow("16-bit grey png")
            << QImage::Format_Grayscale16 << QByteArray("PNG") << QImage::Format_Grayscale8;
        QTest::newRow("16-bit grey tiff")
            << QImage::Format_Grayscale16 << QByteArray("TIFF") << QImage::Format_Grayscale8;
        QTest::newRow("16-bit rgba png")
            << QImage::Format_RGBA64 << QByteArray("PNG") << QImage::Format_ARGB32;
        QTest::newRow("16-bit rgb png")
            << QImage::Format_RGBX64 << QByteArray("PNG") << QImage::Format_RGB32;
        QTest::newRow("8-bit grey png keeps its format")
            << QImage::Format_Grayscale8 << QByteArray("PNG") << QImage::Format_Grayscale8;
    }

    void reducesDeepPicturesToEightBits()
    {
        QFETCH(QImage::Format, written);
        QFETCH(QByteArray, fileFormat);
        QFETCH(QImage::Format, decoded);
        const QImage source =
            twoHalves(QSize(24, 16), qRgb(32, 32, 32), qRgb(224, 224, 224), written);
        const QByteArray bytes = encoded(source, fileFormat.constData());
        QVERIFY(!bytes.isEmpty());
        const QImage image = decoder::decodePicture(bytes, QSize(800, 600)).image;
        QCOMPARE(image.format(), decoded);
        QCOMPARE(image.size(), QSize(24, 16));
        QCOMPARE(qGray(image.pixel(2, 8)), 32);
        QCOMPARE(qGray(image.pixel(21, 8)), 224);
    }

    // Qt's reader tells the first image's empty size here but decodes the 17-pixel-wide screen:
    // the picture's own size, on which printing and resizing depend, is what was decoded.
    void emptyImageSizeIsNotThePicturesOwn()
    {
        const QByteArray bytes =
            QByteArray::fromBase64("R0lGODlhEQAI/fAAAAD/AAP+BywAAAAAAQAAAAAAAAByU4VSAAA7");
        const decoder::DecodedPicture decoded = decoder::decodePicture(bytes, QSize(800, 600));
        QVERIFY(!decoded.image.isNull());
        QVERIFY(!decoded.ownSize.isEmpty());
        QCOMPARE(decoded.ownSize, decoded.image.size());
    }
};

QTEST_GUILESS_MAIN(TstPictureDecoder)
#include "tst_picture_decoder.moc"
