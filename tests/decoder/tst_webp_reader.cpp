// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The WebP reader's own ways: a picture with a colour profile is left to Qt's reader, and a
// scaled picture decodes whole again. Lossy and lossless, with and without alpha, whole and
// scaled, and the files libwebp cannot decode are rows of tst_reader_contract.

#include "codec_samples.h"
#include "decoder/formats/webp/webp_reader.h"
#include "future_result.h"
#include "loaded_picture.h"
#include "picture_fixtures.h"
#include "qt_reference.h"

#include <QColorSpace>
#include <QTest>

using namespace kavelora;
using namespace kavelora::tests;

class TstWebpReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void leavesProfilesToQt()
    {
        QImage wide = softPhoto(QSize(32, 32), false);
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
        const QByteArray webp = webpFile(softPhoto(QSize(401, 300), false), true);
        const picture::Picture picture = kavelora::tests::loadedPicture(webp, QSize(100, 75));
        QCOMPARE(picture.screenImage().size(), QSize(101, 75));
        QCOMPARE(picture.ownSize(), QSize(401, 300));
        QCOMPARE(kavelora::tests::resultOf(picture.decodeForSize(QSize(401, 300)))
                     .convertToFormat(QImage::Format_ARGB32),
                 decodedByQt(webp, "webp").convertToFormat(QImage::Format_ARGB32));
    }
};

QTEST_GUILESS_MAIN(TstWebpReader)
#include "tst_webp_reader.moc"
