// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "loaded_picture.h"
#include "picture_fixtures.h"
#include "window/image_box.h"

#include <QApplication>
#include <QTest>

using kavelora::picture::Picture;
using kavelora::window::ImageBox;
namespace tests = kavelora::tests;

namespace {

QImage smoothlyScaled(const QImage& image, QSize size)
{
    return image.convertToFormat(QImage::Format_RGB32)
        .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace

// The picture area on a screen with more device pixels than logical ones: run at
// QT_SCALE_FACTOR 2 unless the environment gives another scale.
class TestImageBoxHighDpi : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void settledCopyIsDrawnOneToOne_data();
    void settledCopyIsDrawnOneToOne();
    void resizedBoxSettlesAtDevicePixels();
    void decodesFinerForDevicePixels();

private:
    // What the box shows of an opaque picture, in device pixels.
    QImage shownInBox() const
    {
        QImage shot = m_box->grab().toImage().convertToFormat(QImage::Format_RGB32);
        shot.setDevicePixelRatio(1);
        return shot;
    }

    std::unique_ptr<QWidget> m_window;
    ImageBox* m_box = nullptr;
};

void TestImageBoxHighDpi::init()
{
    m_window = std::make_unique<QWidget>();
    m_window->resize(400, 300);
    m_box = new ImageBox(m_window.get());
    m_box->setGeometry(10, 10, 200, 100);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QVERIFY2(m_box->devicePixelRatioF() > 1, "the screen is not scaled");
}

void TestImageBoxHighDpi::cleanup()
{
    m_window.reset();
}

void TestImageBoxHighDpi::settledCopyIsDrawnOneToOne_data()
{
    QTest::addColumn<QSize>("boxSize");
    QTest::newRow("even logical size") << QSize(200, 100);
    QTest::newRow("odd logical size") << QSize(201, 101);
}

void TestImageBoxHighDpi::settledCopyIsDrawnOneToOne()
{
    QFETCH(QSize, boxSize);
    m_box->resize(boxSize);
    const QSize devicePixels = (QSizeF(boxSize) * m_box->devicePixelRatioF()).toSize();
    QCOMPARE(m_box->devicePixelSize(), devicePixels);
    // Noise of exactly the box's device size: any scaling on the way to the screen shows.
    const QImage noise = tests::noisePicture(devicePixels, 11);
    m_box->setPicture(Picture(noise, 96.0));
    QCOMPARE(shownInBox(), noise);
}

void TestImageBoxHighDpi::resizedBoxSettlesAtDevicePixels()
{
    const QImage noise = tests::noisePicture(QSize(3000, 1500), 12);
    m_box->setPicture(Picture(noise, 96.0));
    QCOMPARE(shownInBox(), smoothlyScaled(noise, m_box->devicePixelSize()));
    m_box->resize(260, 140);
    const QImage settled = smoothlyScaled(noise, m_box->devicePixelSize());
    QCOMPARE(shownInBox().size(), settled.size());
    QTRY_VERIFY(shownInBox() == settled);
}

void TestImageBoxHighDpi::decodesFinerForDevicePixels()
{
    // A JPEG decoded for the box's logical size, as a loader unaware of the scale would.
    const QByteArray jpeg = tests::encoded(tests::noisePicture(QSize(1600, 1200), 13), "JPEG", 95);
    m_box->resize(200, 150);
    const Picture coarse = kavelora::tests::loadedPicture(jpeg, m_box->size());
    QCOMPARE(coarse.screenImage().size(), QSize(200, 150));
    m_box->setPicture(coarse);
    // The box decodes again for its device pixels in the background, shows the coarse copy
    // meanwhile, and then the finer one one to one.
    const QSize devicePixels = m_box->devicePixelSize();
    const QImage fine = kavelora::tests::loadedPicture(jpeg, devicePixels).screenImage();
    QVERIFY(fine.width() >= devicePixels.width());
    QTRY_COMPARE(shownInBox(), smoothlyScaled(fine, devicePixels));
    QVERIFY(shownInBox() != smoothlyScaled(coarse.screenImage(), devicePixels));
}

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR"))
        qputenv("QT_SCALE_FACTOR", "2");
    QApplication application(argc, argv);
    TestImageBoxHighDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_image_box_hidpi.moc"
