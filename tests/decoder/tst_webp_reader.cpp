// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The WebP reader against Qt's own: lossy and lossless, with and without alpha, decode to the
// pixels QImageReader gives when not scaled, close to an area average of them when scaled,
// and what libwebp cannot decode is refused as Qt's reader refuses it.

#include "decoder/common/area_reducer.h"
#include "decoder/formats/webp/webp_reader.h"
#include "decoder/picture_decoder.h"
#include "loaded_picture.h"
#include "picture_fixtures.h"
#include "platform/runtime_error.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QTest>

#include <webp/encode.h>

using namespace kavelora;
using namespace kavelora::tests;

namespace {

// Smooth colour with a little detail and, when withAlpha, a fading alpha: what a photo or a
// drawing with a soft edge holds.
QImage photoLike(QSize size, bool withAlpha)
{
    QImage image(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int detail = ((x * 7 + y * 13) % 17) * 3;
            const int alpha = withAlpha ? (x * 255 / size.width() + 40) % 256 : 255;
            image.setPixel(x, y,
                           qRgba((x * 255 / size.width() + detail) % 256,
                                 (y * 255 / size.height() + detail / 2) % 256,
                                 (x + y) * 255 / (size.width() + size.height()), alpha));
        }
    }
    return image;
}

QByteArray webpFile(const QImage& image, bool lossless)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    uint8_t* output = nullptr;
    const auto* pixels = argb.constBits();
    const int stride = static_cast<int>(argb.bytesPerLine());
    // Format_ARGB32 is B, G, R, A in memory on the little-endian machines this runs on.
    const std::size_t size =
        lossless ? WebPEncodeLosslessBGRA(pixels, argb.width(), argb.height(), stride, &output)
                 : WebPEncodeBGRA(pixels, argb.width(), argb.height(), stride, 90, &output);
    QByteArray bytes(reinterpret_cast<const char*>(output), static_cast<qsizetype>(size));
    WebPFree(output);
    return bytes;
}

QImage plainDecode(const QByteArray& webp)
{
    QBuffer buffer;
    buffer.setData(webp);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer, "webp").read();
}

} // namespace

class TstWebpReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesQtAndAveragesWhenScaled_data()
    {
        QTest::addColumn<QByteArray>("webp");
        QTest::addColumn<bool>("alpha");
        // libwebp scales a lossy picture in YUV, before turning it to RGB, and rounds each
        // of its steps: further from an average of the RGB pixels than the lossless path.
        QTest::addColumn<double>("minimumDb");
        for (const QSize size : {QSize(240, 120), QSize(203, 151)}) {
            const QByteArray sides =
                QByteArray::number(size.width()) + " x " + QByteArray::number(size.height());
            for (const bool lossless : {false, true}) {
                for (const bool alpha : {false, true}) {
                    const QByteArray name = QByteArray(lossless ? "lossless" : "lossy") +
                                            (alpha ? " with alpha, " : ", ") + sides;
                    QTest::newRow(name.constData()) << webpFile(photoLike(size, alpha), lossless)
                                                    << alpha << (lossless ? 45.0 : 33.0);
                }
            }
        }
        QTest::newRow("one pixel")
            << webpFile(photoLike(QSize(1, 1), false), true) << false << 99.0;
    }
    void matchesQtAndAveragesWhenScaled()
    {
        QFETCH(QByteArray, webp);
        QFETCH(bool, alpha);
        QFETCH(double, minimumDb);
        const QImage whole = plainDecode(webp);
        QVERIFY(!whole.isNull());
        const auto same = decoder::readWebp(webp, whole.size());
        QVERIFY(same);
        QCOMPARE(same->ownSize, whole.size());
        QCOMPARE(same->image.hasAlphaChannel(), alpha);
        QCOMPARE(same->image.convertToFormat(QImage::Format_ARGB32),
                 whole.convertToFormat(QImage::Format_ARGB32));

        for (int factor : {2, 3, 4}) {
            const QSize cover(whole.width() / factor, whole.height() / factor);
            if (decoder::areaReductionFactor(whole.size(), cover) != factor)
                continue;
            const auto scaled = decoder::readWebp(webp, cover);
            QVERIFY(scaled);
            const QImage expected = exactAreaAverage(whole, factor);
            QCOMPARE(scaled->image.size(), expected.size());
            // Where the sides are not multiples of the factor libwebp's scaler spreads the
            // picture evenly over the copy instead of leaving part blocks at the edges.
            if (whole.width() % factor != 0 || whole.height() % factor != 0)
                continue;
            const double quality = psnr(scaled->image, expected);
            if (quality < minimumDb)
                QFAIL(qPrintable(QStringLiteral("factor %1: %2 dB").arg(factor).arg(quality)));
        }
    }

    void refusesWhatQtRefuses_data()
    {
        QTest::addColumn<QByteArray>("webp");
        const QByteArray lossy = webpFile(photoLike(QSize(64, 48), false), false);
        const QByteArray lossless = webpFile(photoLike(QSize(64, 48), false), true);
        QTest::newRow("lossy cut in half") << lossy.left(lossy.size() / 2);
        QTest::newRow("lossless cut in half") << lossless.left(lossless.size() / 2);
        QTest::newRow("header only") << lossy.left(20);
        QByteArray wrongChunk = lossy;
        wrongChunk.replace(12, 4, "VP9 ");
        QTest::newRow("unknown image chunk") << wrongChunk;
    }
    void refusesWhatQtRefuses()
    {
        QFETCH(QByteArray, webp);
        QVERIFY(plainDecode(webp).isNull());
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, decoder::readWebp(webp, QSize(8, 8)));
    }

    void leavesProfilesToQt()
    {
        QImage wide = photoLike(QSize(32, 32), false);
        wide.setColorSpace(QColorSpace::DisplayP3);
        const QByteArray webp = encoded(wide, "WEBP");
        QVERIFY(webp.contains("ICCP"));
        QVERIFY(!decoder::readWebp(webp, QSize(8, 8)));
        const picture::Picture picture = kavelora::tests::loadedPicture(webp, QSize(8, 8));
        QCOMPARE(picture.screenImage().size(), QSize(32, 32));
    }

    // The screen copy is scaled, and the picture gives its whole self when asked for it.
    void scaledPictureDecodesWholeAgain()
    {
        const QByteArray webp = webpFile(photoLike(QSize(401, 300), false), true);
        const picture::Picture picture = kavelora::tests::loadedPicture(webp, QSize(100, 75));
        QCOMPARE(picture.screenImage().size(), QSize(101, 75));
        QCOMPARE(picture.ownSize(), QSize(401, 300));
        QCOMPARE(picture.decodeForSize(QSize(401, 300)).convertToFormat(QImage::Format_ARGB32),
                 plainDecode(webp).convertToFormat(QImage::Format_ARGB32));
    }
};

QTEST_APPLESS_MAIN(TstWebpReader)
#include "tst_webp_reader.moc"
