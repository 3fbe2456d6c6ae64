// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "loaded_picture.h"
#include "picture_fixtures.h"
#include "window/image_box.h"

#include <QApplication>
#include <QPainter>
#include <QTest>

using kavelora::picture::Picture;
using kavelora::tests::encoded;
using kavelora::tests::noisePicture;
using kavelora::tests::twoHalves;
using kavelora::window::ImageBox;

namespace {

const QColor kBackground(255, 192, 192);

// Left half red, right half blue, with a transparent square in the middle when asked.
QImage halves(QSize size, bool transparentMiddle = false)
{
    if (!transparentMiddle)
        return twoHalves(size, qRgb(255, 0, 0), qRgb(0, 0, 255));
    QImage image = twoHalves(size, qRgb(255, 0, 0), qRgb(0, 0, 255), QImage::Format_ARGB32);
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(QRect(QPoint(), size / 2).translated(size.width() / 4, size.height() / 4),
                     Qt::transparent);
    return image;
}

// Vertical stripes 8 pixels wide, black and white: detail that survives a 1/2 decode and
// blurs away at 1/8.
QImage stripes(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int x = 0; x < size.width(); ++x) {
        const QColor colour = (x / 8) % 2 == 0 ? Qt::black : Qt::white;
        QPainter(&image).fillRect(x, 0, 1, size.height(), colour);
    }
    return image;
}

// Left half with full red and no blue, right half the other way round, with green noise
// fine enough that a copy scaled in two steps differs from one scaled in one.
QImage noisyHalves(QSize size)
{
    QImage image = noisePicture(size, 5);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int green = qGreen(line[x]);
            line[x] = x < size.width() / 2 ? qRgb(255, green, 0) : qRgb(0, green, 255);
        }
    }
    return image;
}

bool isRedHalf(QRgb pixel)
{
    return qRed(pixel) == 255 && qBlue(pixel) == 0;
}

bool isBlueHalf(QRgb pixel)
{
    return qRed(pixel) == 0 && qBlue(pixel) == 255;
}

QImage smoothlyScaled(const QImage& image, QSize size)
{
    return image.convertToFormat(QImage::Format_RGB32)
        .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// Mean absolute difference per channel between two images of the same size.
double meanDifference(const QImage& shown, const QImage& reference)
{
    const QImage a = shown.convertToFormat(QImage::Format_RGB32);
    const QImage b = reference.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * a.width() * a.height());
}

} // namespace

class TestImageBox : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void stretchesWithoutKeepingProportions_data();
    void stretchesWithoutKeepingProportions();
    void transparentPartsShowTheWindow();
    void emptyPictureShowsTheWindow();
    void resizeDrawsAtOnceThenSettlesSmooth();
    void settledCopyComesFromTheScreenCopy();
    void growingBoxDecodesFinerCopy_data();
    void growingBoxDecodesFinerCopy();

private:
    // What the box shows of an opaque picture.
    QImage shownInBox() const
    {
        return m_box->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    std::unique_ptr<QWidget> m_window;
    ImageBox* m_box = nullptr;
};

void TestImageBox::init()
{
    m_window = std::make_unique<QWidget>();
    QPalette palette = m_window->palette();
    palette.setColor(QPalette::Window, kBackground);
    m_window->setPalette(palette);
    m_window->setAutoFillBackground(true);
    m_window->resize(400, 300);
    m_box = new ImageBox(m_window.get());
    m_box->setGeometry(10, 10, 200, 100);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestImageBox::cleanup()
{
    m_window.reset();
}

void TestImageBox::stretchesWithoutKeepingProportions_data()
{
    QTest::addColumn<QSize>("pictureSize");
    QTest::addColumn<QSize>("boxSize");
    QTest::newRow("small picture enlarged") << QSize(20, 20) << QSize(300, 60);
    QTest::newRow("tall picture into a wide box") << QSize(50, 400) << QSize(200, 100);
    QTest::newRow("24 megapixels reduced") << QSize(6000, 4000) << QSize(250, 250);
}

void TestImageBox::stretchesWithoutKeepingProportions()
{
    QFETCH(QSize, pictureSize);
    QFETCH(QSize, boxSize);
    m_box->setPicture(Picture(halves(pictureSize), 96.0));
    m_box->resize(boxSize);
    const QImage shot = m_window->grab(m_box->geometry()).toImage();
    QCOMPARE(shot.size(), boxSize);
    // The whole picture reaches every edge of the box.
    QCOMPARE(shot.pixelColor(1, 1), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(1, boxSize.height() - 2), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(boxSize.width() - 2, 1), QColor(Qt::blue));
    QCOMPARE(shot.pixelColor(boxSize.width() - 2, boxSize.height() - 2), QColor(Qt::blue));
    QCOMPARE(shot.pixelColor(boxSize.width() / 4, boxSize.height() / 2), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(boxSize.width() * 3 / 4, boxSize.height() / 2), QColor(Qt::blue));
}

void TestImageBox::transparentPartsShowTheWindow()
{
    m_box->setPicture(Picture(halves(QSize(40, 40), true), 96.0));
    const QImage shot = m_window->grab(m_box->geometry()).toImage();
    QCOMPARE(shot.pixelColor(100, 50), kBackground);
    QCOMPARE(shot.pixelColor(5, 5), QColor(Qt::red));
}

void TestImageBox::emptyPictureShowsTheWindow()
{
    m_box->setPicture(Picture(halves(QSize(40, 40)), 96.0));
    m_box->setPicture(Picture());
    QVERIFY(m_box->picture().isEmpty());
    const QImage shot = m_window->grab(m_box->geometry()).toImage();
    for (const QPoint point : {QPoint(1, 1), QPoint(100, 50), QPoint(198, 98)})
        QCOMPARE(shot.pixelColor(point), kBackground);
}

void TestImageBox::resizeDrawsAtOnceThenSettlesSmooth()
{
    const QImage picture = noisyHalves(QSize(4096, 2048));
    m_box->setPicture(Picture(picture, 96.0));
    // The first paint already shows the smooth copy of the box's size.
    QCOMPARE(shownInBox(), smoothlyScaled(picture, m_box->size()));

    // While the user drags, frames are drawn from the master copy straight away...
    m_box->resize(260, 140);
    const QImage duringResize = shownInBox();
    QCOMPARE(duringResize.size(), QSize(260, 140));
    const QImage settled = smoothlyScaled(picture, QSize(260, 140));
    QVERIFY(duringResize != settled);
    for (const QPoint corner : {QPoint(2, 2), QPoint(2, 137)})
        QVERIFY(isRedHalf(duringResize.pixel(corner)));
    for (const QPoint corner : {QPoint(257, 2), QPoint(257, 137)})
        QVERIFY(isBlueHalf(duringResize.pixel(corner)));
    // ...and a smooth copy of exactly the box's size follows once the resize pauses.
    QTRY_VERIFY(shownInBox() == settled);
}

void TestImageBox::settledCopyComesFromTheScreenCopy()
{
    // Fine noise, wider than the master copy: a copy scaled in two steps through the master
    // differs from one scaled in one step from the screen copy.
    const QImage fineNoise = noisePicture(QSize(4096, 64), 8);
    m_box->setPicture(Picture(fineNoise, 96.0));
    QCOMPARE(shownInBox(), smoothlyScaled(fineNoise, m_box->size()));
}

void TestImageBox::growingBoxDecodesFinerCopy_data()
{
    QTest::addColumn<bool>("reducedDecode");
    QTest::addColumn<QSize>("coverSize");
    QTest::addColumn<QSize>("grownSize");
    QTest::addColumn<QSize>("copySize");
    // The picture is a 1600 x 1200 JPEG; the box starts at 150 x 100.
    QTest::newRow("grows past a reduced copy")
        << true << QSize(100, 75) << QSize(800, 600) << QSize(800, 600);
    QTest::newRow("grows past the picture's own size")
        << true << QSize(100, 75) << QSize(2000, 1300) << QSize(1600, 1200);
    QTest::newRow("grows within the reduced copy")
        << true << QSize(400, 300) << QSize(380, 280) << QSize(400, 300);
    QTest::newRow("shrinks below the reduced copy")
        << true << QSize(100, 75) << QSize(60, 40) << QSize(200, 150);
    QTest::newRow("grows past a whole picture")
        << false << QSize(100, 75) << QSize(800, 600) << QSize(200, 150);
}

void TestImageBox::growingBoxDecodesFinerCopy()
{
    QFETCH(bool, reducedDecode);
    QFETCH(QSize, coverSize);
    QFETCH(QSize, grownSize);
    QFETCH(QSize, copySize);
    const QImage whole = stripes(QSize(1600, 1200));
    const QByteArray jpeg = encoded(whole, "JPEG", 95);
    const Picture reduced = kavelora::tests::loadedPicture(jpeg, coverSize);
    // A picture whose screen copy is all there is, however small.
    const Picture picture = reducedDecode ? reduced : Picture(reduced.screenImage(), 96.0);
    m_box->resize(150, 100);
    m_box->setPicture(picture);
    // Drawn from the screen copy: nothing finer is needed yet.
    QCOMPARE(shownInBox(), smoothlyScaled(picture.screenImage(), QSize(150, 100)));

    m_box->resize(grownSize);
    // Once settled, the box shows the copy of copySize, decoded as the loader decodes it,
    // scaled in one step to the box.
    const QImage copy = reducedDecode ? kavelora::tests::loadedPicture(jpeg, copySize).screenImage()
                                      : picture.screenImage();
    QCOMPARE(copy.size(), copySize);
    const QImage expected = smoothlyScaled(copy, grownSize);
    QTRY_VERIFY(shownInBox() == expected);
    // The stripes are sharper on screen than the first copy stretched would show them.
    const QImage reference = smoothlyScaled(whole, grownSize);
    const QImage stretchedFirst = smoothlyScaled(picture.screenImage(), grownSize);
    if (copySize != picture.screenImage().size())
        QVERIFY(meanDifference(expected, reference) <
                meanDifference(stretchedFirst, reference) / 2);
    else
        QCOMPARE(expected, stretchedFirst);
}

QTEST_MAIN(TestImageBox)
#include "tst_image_box.moc"
