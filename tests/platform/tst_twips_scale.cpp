// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "platform/twips_scale.h"

#include <QTest>

using kavelora::platform::Twips;
using kavelora::platform::TwipsRect;
using kavelora::platform::TwipsScale;

class TestTwipsScale : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void toPixels_data();
    void toPixels();
    void roundTripsWholePixels();
    void unusableDpiFallsBackTo96();
};

void TestTwipsScale::toPixels_data()
{
    QTest::addColumn<double>("dpi");
    QTest::addColumn<float>("twips");
    QTest::addColumn<int>("pixels");

    QTest::newRow("client width at 96 dpi") << 96.0 << 7425.f << 495;
    QTest::newRow("client height at 96 dpi") << 96.0 << 8460.f << 564;
    QTest::newRow("laid-out button top rounds up") << 96.0 << 7960.f << 531;
    QTest::newRow("laid-out image height rounds down") << 96.0 << 7460.f << 497;
    QTest::newRow("client width at 144 dpi") << 144.0 << 7425.f << 743;
    QTest::newRow("icon at 192 dpi") << 192.0 << 480.f << 64;
    QTest::newRow("zero") << 96.0 << 0.f << 0;
}

void TestTwipsScale::toPixels()
{
    QFETCH(double, dpi);
    QFETCH(float, twips);
    QTEST(TwipsScale(dpi).toPixels(Twips{twips}), "pixels");
}

void TestTwipsScale::roundTripsWholePixels()
{
    for (double dpi : {72.0, 96.0, 120.0, 144.0, 192.0}) {
        const TwipsScale scale(dpi);
        for (int pixels : {0, 1, 33, 495, 7000})
            QCOMPARE(scale.toPixels(scale.fromPixels(pixels)), pixels);
    }
    QCOMPARE(TwipsScale().toPixels(TwipsRect{Twips{120}, Twips{480}, Twips{7215}, Twips{4455}}),
             QRect(8, 32, 481, 297));
}

void TestTwipsScale::unusableDpiFallsBackTo96()
{
    // 15 twips to a pixel, as at 96 dpi.
    for (double dpi : {0.0, -5.0}) {
        const TwipsScale scale(dpi);
        QCOMPARE(scale.fromPixels(1).value, 15.f);
        QCOMPARE(scale.toPixels(Twips{1440}), 96);
        QCOMPARE(scale.logicalDpi(), 96.0);
    }
}

QTEST_APPLESS_MAIN(TestTwipsScale)
#include "tst_twips_scale.moc"
