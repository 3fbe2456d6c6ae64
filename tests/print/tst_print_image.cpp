// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "future_result.h"
#include "loaded_picture.h"
#include "print/print_image.h"

#include <QBuffer>
#include <QTest>

using kavelora::picture::Picture;

class TestPrintImage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void picksPixelsForThePage_data()
    {
        QTest::addColumn<bool>("jpeg");
        QTest::addColumn<QSize>("coverSize");
        QTest::addColumn<QSize>("wanted");
        QTest::addColumn<QSize>("sharp");
        QTest::addColumn<QSize>("printed");
        // The picture is 1600 x 1200; a JPEG covering 100 x 75 shows a 1/8 copy, 200 x 150, and
        // decodes finer on demand.
        QTest::newRow("reduced copy too coarse decoded finer, a little over, sent as is")
            << true << QSize(100, 75) << QSize(640, 480) << QSize(320, 240) << QSize(800, 600);
        QTest::newRow("reduced copy too coarse decoded finer to exactly the wanted size")
            << true << QSize(100, 75) << QSize(800, 600) << QSize(400, 300) << QSize(800, 600);
        QTest::newRow("reduced copy only just too coarse still decoded finer")
            << true << QSize(100, 75) << QSize(800, 600) << QSize(201, 150) << QSize(800, 600);
        QTest::newRow("reduced copy sharp enough sent as it is")
            << true << QSize(100, 75) << QSize(800, 600) << QSize(200, 150) << QSize(200, 150);
        QTest::newRow("whole picture far finer than wanted is scaled down")
            << false << QSize() << QSize(400, 300) << QSize(200, 150) << QSize(400, 300);
        QTest::newRow("whole picture within the leeway is sent as is")
            << false << QSize() << QSize(1200, 900) << QSize(600, 450) << QSize(1600, 1200);
        QTest::newRow("whole picture coarser than wanted is sent as is")
            << false << QSize() << QSize(3200, 2400) << QSize(1600, 1200) << QSize(1600, 1200);
        QTest::newRow("nothing wanted gives the screen copy")
            << false << QSize() << QSize() << QSize() << QSize(1600, 1200);
    }

    void picksPixelsForThePage()
    {
        QFETCH(bool, jpeg);
        QFETCH(QSize, coverSize);
        QFETCH(QSize, wanted);
        QFETCH(QSize, sharp);
        QFETCH(QSize, printed);
        QImage whole(1600, 1200, QImage::Format_RGB32);
        whole.fill(Qt::darkCyan);
        Picture picture(whole, 96.0);
        if (jpeg) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            QVERIFY(buffer.open(QIODevice::WriteOnly));
            QVERIFY(whole.save(&buffer, "JPEG", 90));
            picture = kavelora::tests::loadedPicture(bytes, coverSize);
            QCOMPARE(picture.screenImage().size(), QSize(200, 150));
        }
        const QImage image =
            kavelora::tests::resultOf(kavelora::print::imageForPrint(picture, wanted, sharp));
        QCOMPARE(image.size(), printed);
        QVERIFY(qAbs(image.pixelColor(printed.width() / 2, printed.height() / 2).green() -
                     QColor(Qt::darkCyan).green()) < 8);
    }
};

QTEST_GUILESS_MAIN(TestPrintImage)
#include "tst_print_image.moc"
