// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The PNG reader's own ways: the reduction factor for a target, the kinds it leaves to Qt's
// reader, and a reduced picture decoded whole again. What every reader promises, a row per
// PNG kind, is in tst_reader_contract.

#include "byte_fields.h"
#include "decoder/common/area_reducer.h"
#include "decoder/formats/png/png_reader.h"
#include "future_result.h"
#include "loaded_picture.h"
#include "picture_fixtures.h"
#include "png_samples.h"
#include "qt_reference.h"

#include <QBuffer>
#include <QTest>

using namespace kavelora;
using namespace kavelora::tests;

class TstPngReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        const QImage whole = kavelora::tests::resultOf(picture.decodeForSize(QSize(401, 300)));
        QCOMPARE(whole.convertToFormat(QImage::Format_RGB32),
                 decodedByQt(png, "png").convertToFormat(QImage::Format_RGB32));
        QCOMPARE(kavelora::tests::resultOf(picture.decodeForSize(QSize(100, 75))).size(),
                 QSize(101, 75));
    }
};

QTEST_GUILESS_MAIN(TstPngReader)
#include "tst_png_reader.moc"
