// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// Where a picture lands on the page and how many of its pixels are drawn.

#include "print/print_placement.h"

#include <QtTest>

using kavelora::platform::Twips;
using kavelora::print::placeOnPage;

namespace {

// A4 with 18 pt margins, the print queue the tests use, at Qt's high printer resolution.
constexpr double kDpi = 1200.0;
const QSizeF kA4Printable(559.0 / 72.0 * kDpi, 806.0 / 72.0 * kDpi);

QSizeF inches(QSize pixels, double pixelsPerInch)
{
    return QSizeF(pixels) / pixelsPerInch;
}

bool fuzzyEqual(double a, double b)
{
    return std::abs(a - b) <= 1e-6 * std::max({1.0, std::abs(a), std::abs(b)});
}

bool fuzzyEqual(const QRectF& a, const QRectF& b)
{
    return fuzzyEqual(a.x(), b.x()) && fuzzyEqual(a.y(), b.y()) &&
           fuzzyEqual(a.width(), b.width()) && fuzzyEqual(a.height(), b.height());
}

} // namespace

class TestPrintPlacement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void placement_data();
    void placement();
};

void TestPrintPlacement::placement_data()
{
    QTest::addColumn<QSize>("ownPixels");
    QTest::addColumn<double>("loadDpi");
    QTest::addColumn<QSizeF>("printable");
    QTest::addColumn<double>("deviceDpi");
    QTest::addColumn<float>("x1");
    QTest::addColumn<float>("y1");
    QTest::addColumn<QRectF>("expectedRect");
    QTest::addColumn<QSize>("expectedPixels");
    QTest::addColumn<QSize>("expectedSharpPixels");

    // 392 x 515 px at 96 ppi is 4.0833 x 5.3646 in: 103.7 x 136.3 mm.
    QTest::newRow("splash fits at its own size")
        << QSize(392, 515) << 96.0 << kA4Printable << kDpi << 0.0f << 0.0f
        << QRectF(0, 0, 392.0 / 96 * kDpi, 515.0 / 96 * kDpi) << QSize(392, 515) << QSize(392, 515);
    QTest::newRow("own size on a coarser printer")
        << QSize(392, 515) << 96.0 << QSizeF(559.0 / 72 * 300, 806.0 / 72 * 300) << 300.0 << 0.0f
        << 0.0f << QRectF(0, 0, 392.0 / 96 * 300, 515.0 / 96 * 300) << QSize(392, 515)
        << QSize(392, 515);
    QTest::newRow("picture exactly the area's size is not scaled")
        << QSize(100, 200) << 96.0 << QSizeF(100.0 / 96 * kDpi, 200.0 / 96 * kDpi) << kDpi << 0.0f
        << 0.0f << QRectF(0, 0, 100.0 / 96 * kDpi, 200.0 / 96 * kDpi) << QSize(100, 200)
        << QSize(100, 200);
    // 6000 x 4000 px is 62.5 x 41.7 in: it takes the area's width, two thirds as high.
    QTest::newRow("wide photo scaled down to the area's width")
        << QSize(6000, 4000) << 96.0 << kA4Printable << kDpi << 0.0f << 0.0f
        << QRectF(0, 0, kA4Printable.width(), kA4Printable.width() * 4000 / 6000)
        << QSize(qCeil(559.0 / 72 * 300), qCeil(559.0 / 72 * 300 * 4000 / 6000))
        << QSize(qCeil(559.0 / 72 * 150), qCeil(559.0 / 72 * 150 * 4000 / 6000));
    QTest::newRow("tall picture scaled down to the area's height")
        << QSize(1000, 4000) << 96.0 << kA4Printable << kDpi << 0.0f << 0.0f
        << QRectF(0, 0, kA4Printable.height() / 4, kA4Printable.height())
        << QSize(qCeil(806.0 / 72 * 300 / 4), qCeil(806.0 / 72 * 300))
        << QSize(qCeil(806.0 / 72 * 150 / 4), qCeil(806.0 / 72 * 150));
    // 7.81 in against 7.76 in of room.
    QTest::newRow("wider than the area only by a little is still scaled")
        << QSize(750, 100) << 96.0 << kA4Printable << kDpi << 0.0f << 0.0f
        << QRectF(0, 0, kA4Printable.width(), kA4Printable.width() * 100 / 750) << QSize(750, 100)
        << QSize(750, 100);
    // Turned, the area is 11.2 in wide: still the width that limits a 3:2 photo.
    QTest::newRow("landscape page gives a wide photo more room")
        << QSize(6000, 4000) << 96.0 << kA4Printable.transposed() << kDpi << 0.0f << 0.0f
        << QRectF(0, 0, kA4Printable.height(), kA4Printable.height() * 4000 / 6000)
        << QSize(qCeil(806.0 / 72 * 300), qCeil(806.0 / 72 * 300 * 4000 / 6000))
        << QSize(qCeil(806.0 / 72 * 150), qCeil(806.0 / 72 * 150 * 4000 / 6000));
    // 3000 px at 600 ppi is 5 in: own size fits, but 1500 px are all the page can use and 750
    // already print sharply.
    QTest::newRow("dense picture drawn from 300 pixels per inch")
        << QSize(3000, 3000) << 600.0 << kA4Printable << kDpi << 0.0f << 0.0f
        << QRectF(0, 0, 5 * kDpi, 5 * kDpi) << QSize(1500, 1500) << QSize(750, 750);
    QTest::newRow("one pixel picture")
        << QSize(1, 1) << 96.0 << kA4Printable << kDpi << 0.0f << 0.0f
        << QRectF(0, 0, kDpi / 96, kDpi / 96) << QSize(1, 1) << QSize(1, 1);
    // 1440 twips is an inch.
    QTest::newRow("offset moves the top-left corner")
        << QSize(392, 515) << 96.0 << kA4Printable << kDpi << 1440.0f << 720.0f
        << QRectF(kDpi, kDpi / 2, 392.0 / 96 * kDpi, 515.0 / 96 * kDpi) << QSize(392, 515)
        << QSize(392, 515);
    QTest::newRow("offset leaves less room to fit into")
        << QSize(192, 96) << 96.0 << QSizeF(3 * kDpi, 3 * kDpi) << kDpi << 1440.0f << 0.0f
        << QRectF(kDpi, 0, 2 * kDpi, kDpi) << QSize(192, 96) << QSize(192, 96);
    QTest::newRow("offset past the area places nothing")
        << QSize(392, 515) << 96.0 << kA4Printable << kDpi << 20000.0f << 0.0f << QRectF()
        << QSize() << QSize();
    QTest::newRow("empty picture places nothing") << QSize() << 96.0 << kA4Printable << kDpi << 0.0f
                                                  << 0.0f << QRectF() << QSize() << QSize();
    QTest::newRow("no printable area places nothing")
        << QSize(392, 515) << 96.0 << QSizeF() << kDpi << 0.0f << 0.0f << QRectF() << QSize()
        << QSize();
}

void TestPrintPlacement::placement()
{
    QFETCH(QSize, ownPixels);
    QFETCH(double, loadDpi);
    QFETCH(QSizeF, printable);
    QFETCH(double, deviceDpi);
    QFETCH(float, x1);
    QFETCH(float, y1);
    QFETCH(QRectF, expectedRect);
    QFETCH(QSize, expectedPixels);
    QFETCH(QSize, expectedSharpPixels);

    const auto placement = placeOnPage(inches(ownPixels, loadDpi), ownPixels, printable, deviceDpi,
                                       Twips{x1}, Twips{y1});

    QVERIFY2(fuzzyEqual(placement.targetRect, expectedRect),
             qPrintable(QStringLiteral("got %1,%2 %3x%4")
                            .arg(placement.targetRect.x())
                            .arg(placement.targetRect.y())
                            .arg(placement.targetRect.width())
                            .arg(placement.targetRect.height())));
    if (expectedRect.isEmpty())
        return;
    QCOMPARE(placement.imagePixels, expectedPixels);
    QCOMPARE(placement.sharpPixels, expectedSharpPixels);
    // Whatever the sizes, the picture keeps its proportions and stays inside the area.
    QVERIFY(std::abs(placement.targetRect.width() / placement.targetRect.height() -
                     double(ownPixels.width()) / ownPixels.height()) < 1e-9 * ownPixels.width());
    QVERIFY(placement.targetRect.right() <= printable.width() * (1 + 1e-9));
    QVERIFY(placement.targetRect.bottom() <= printable.height() * (1 + 1e-9));
    QVERIFY(placement.imagePixels.width() <= ownPixels.width());
    QVERIFY(placement.imagePixels.height() <= ownPixels.height());
    QVERIFY(placement.sharpPixels.width() <= placement.imagePixels.width());
    QVERIFY(placement.sharpPixels.height() <= placement.imagePixels.height());
}

QTEST_APPLESS_MAIN(TestPrintPlacement)
#include "tst_print_placement.moc"
