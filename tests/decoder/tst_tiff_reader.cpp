// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The TIFF reader's own ways: every kind but the plain strips is left to Qt's reader, and a
// reduced picture decodes whole again. The plain strip kinds decoded whole and reduced, and
// rows that do not decode, are rows of tst_reader_contract.

#include "codec_samples.h"
#include "decoder/formats/tiff/tiff_reader.h"
#include "future_result.h"
#include "loaded_picture.h"
#include "picture_fixtures.h"
#include "qt_reference.h"

#include <QBuffer>
#include <QTest>

using namespace kavelora;
using namespace kavelora::tests;

class TstTiffReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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

    void reducedPictureDecodesWholeAgain()
    {
        const QByteArray tiff = tiffFile(noisePicture(QSize(401, 300), 7), {});
        const picture::Picture picture = kavelora::tests::loadedPicture(tiff, QSize(100, 75));
        QCOMPARE(picture.screenImage().size(), QSize(101, 75));
        QCOMPARE(kavelora::tests::resultOf(picture.decodeForSize(QSize(401, 300)))
                     .convertToFormat(QImage::Format_RGB32),
                 decodedByQt(tiff, "tiff").convertToFormat(QImage::Format_RGB32));
    }
};

QTEST_GUILESS_MAIN(TstTiffReader)
#include "tst_tiff_reader.moc"
