// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "e2e_support.h"

#include <QDir>

#include <cmath>

using namespace kavelora::e2e;

namespace {

const QRgb kPink = qRgb(255, 192, 192);
// Black and white stripes two pixels wide: stretched across the picture area of a 2x screen
// (950 device pixels) they become one-pixel stripes, as sharp as the screen can show.
const QSize kStripesSize(1900, 200);
constexpr int kStripeWidth = 2;
// Left edges of the open, print and exit buttons and their top, in window pixels.
const QList<int> kButtonLefts{24, 112, 200};
constexpr int kButtonTop = 531;

QImage stripes()
{
    QImage image(kStripesSize, QImage::Format_RGB32);
    for (int x = 0; x < image.width(); ++x) {
        const QRgb colour = (x / kStripeWidth) % 2 == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
        for (int y = 0; y < image.height(); ++y)
            image.setPixel(x, y, colour);
    }
    return image;
}

// Mean absolute difference in grey level between neighbouring columns along the middle row,
// edges left out: 255 for one-pixel black and white stripes, 0 for flat grey.
double stripeContrast(const QImage& area)
{
    constexpr int kEdge = 4;
    const int row = area.height() / 2;
    double sum = 0;
    for (int x = kEdge + 1; x < area.width() - kEdge; ++x)
        sum += std::abs(qGray(area.pixel(x, row)) - qGray(area.pixel(x - 1, row)));
    return sum / (area.width() - 2 * kEdge - 1);
}

// What in the client area is not where the layout puts it, in device pixels; empty when
// everything is.
QString layoutMismatch(const RunningViewer& viewer, const QImage& client)
{
    const int row = kButtonTop + 16;
    for (int left : kButtonLefts) {
        const QPoint face = viewer.toDevicePixels(QPoint(left + 4, row));
        const QPoint outside = viewer.toDevicePixels(QPoint(left, row)) - QPoint(3, 0);
        if (!colourNear(client.pixel(face), kButtonFace, 0) ||
            !colourNear(client.pixel(outside), kPink, 0))
            return QStringLiteral("button not at device x %1").arg(face.x() - 4);
    }
    const QRect picture = viewer.toDevicePixels(kPictureArea);
    const int middleY = picture.center().y();
    const int middleX = picture.center().x();
    if (colourNear(client.pixel(picture.right() - 1, middleY), kPink, 8) ||
        !colourNear(client.pixel(picture.right() + 2, middleY), kPink, 0))
        return QStringLiteral("picture's right edge not at device x %1").arg(picture.right());
    if (colourNear(client.pixel(middleX, picture.bottom() - 1), kPink, 8) ||
        !colourNear(client.pixel(middleX, picture.bottom() + 2), kPink, 0))
        return QStringLiteral("picture's bottom edge not at device y %1").arg(picture.bottom());
    if (colourNear(client.pixel(picture.left() + 1, middleY), kPink, 8) ||
        !colourNear(client.pixel(picture.left() - 2, middleY), kPink, 0))
        return QStringLiteral("picture's left edge not at device x %1").arg(picture.left());
    return {};
}

} // namespace

class TestEndToEndHighDpi : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void stripesStaySharp_data();
    void stripesStaySharp();

private:
    QTemporaryDir m_fixtures;
};

void TestEndToEndHighDpi::initTestCase()
{
    QVERIFY(m_fixtures.isValid());
    QVERIFY(stripes().save(m_fixtures.filePath(QStringLiteral("stripes.png"))));
}

void TestEndToEndHighDpi::stripesStaySharp_data()
{
    QTest::addColumn<double>("screenScale");
    QTest::addColumn<QSize>("clientDevicePixels");
    // Below this the stripes have gone grey; -1 where grey is all the screen can show.
    QTest::addColumn<double>("minimumContrast");
    // Four stripe pixels to each screen pixel: the stripes average out to grey.
    QTest::newRow("1x screen") << 1.0 << QSize(495, 564) << -1.0;
    // 495 x 564 window pixels; Qt takes the whole device pixels inside 742.5.
    QTest::newRow("1.5x screen, fractional") << 1.5 << QSize(742, 846) << 50.0;
    QTest::newRow("2x screen") << 2.0 << QSize(990, 1128) << 200.0;
}

void TestEndToEndHighDpi::stripesStaySharp()
{
    QFETCH(double, screenScale);
    QFETCH(QSize, clientDevicePixels);
    QFETCH(double, minimumContrast);
    WindowManager windowManager; // gives the open dialog keyboard focus, as a desktop would
    QVERIFY(windowManager.isRunning());
    RunningViewer viewer({}, screenScale);
    QVERIFY(viewer.waitForWindow());
    QCOMPARE(viewer.clientGeometry().size(), clientDevicePixels);

    QVERIFY(openThroughDialog(viewer, m_fixtures.filePath(QStringLiteral("stripes.png"))));
    // Stripes of any width are grey alone and average to mid grey along a row, whatever the
    // scale; the start picture is not.
    const auto showsStripes = [](const QImage& area) {
        double sum = 0;
        const int row = area.height() / 2;
        for (int x = 0; x < area.width(); ++x) {
            const QRgb pixel = area.pixel(x, row);
            if (qRed(pixel) != qGreen(pixel) || qGreen(pixel) != qBlue(pixel))
                return false;
            sum += qGray(pixel);
        }
        return std::abs(sum / area.width() - 127.5) < 12;
    };
    QImage area;
    QVERIFY(waitUntil([&] { return showsStripes(area = pictureArea(viewer)); }, 5000, 50));
    QCOMPARE(area.size(), viewer.toDevicePixels(kPictureArea).size());
    const QString mismatch = layoutMismatch(viewer, grabScreen(viewer.clientGeometry()));
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));

    const double contrast = stripeContrast(area);
    qInfo("stripe contrast at scale %.1f: %.1f of 255", screenScale, contrast);
    QVERIFY2(contrast >= minimumContrast, qPrintable(QString::number(contrast)));
}

KAVELORA_E2E_MAIN(TestEndToEndHighDpi)
#include "tst_e2e_hidpi.moc"
