// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The GIF reader's own ways: animations and the kinds Qt's reader draws in its own way are
// left to it, image data corrupted at random ends as Qt's reader ends it, and a reduced picture
// decodes whole again. What every reader promises, a row per GIF kind, is in
// tst_reader_contract.

#include "codec_samples.h"
#include "decoder/formats/gif/gif_reader.h"
#include "decoder/picture_decoder.h"
#include "future_result.h"
#include "loaded_picture.h"
#include "platform/runtime_error.h"
#include "qt_reference.h"
#include "seeded_random.h"

#include <QTest>

using namespace kavelora;
using namespace kavelora::tests;

namespace {

// True when the decoder, whichever reader takes gif, refuses it as Qt's reader does, or shows
// the pixels Qt's reader shows.
bool endsAsQtsReaderEnds(const QByteArray& gif)
{
    const QImage qt = decodedByQt(gif, "gif");
    try {
        return decoder::decodePicture(gif, QSize(4000, 4000)).image == qt;
    } catch (const platform::RuntimeError&) {
        return qt.isNull();
    }
}

} // namespace

class TstGifReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void leftToQt_data()
    {
        QTest::addColumn<QByteArray>("gif");
        GifLayout animation = still(QSize(20, 10), 4);
        animation.images = 2;
        QTest::newRow("animation") << encodedGif(animation);
        GifLayout interlaced = still(QSize(20, 10), 4);
        interlaced.interlaced = true;
        QTest::newRow("interlaced") << encodedGif(interlaced);
        GifLayout offset = still(QSize(20, 10), 4);
        offset.image = QRect(1, 0, 20, 10);
        QTest::newRow("image moved right") << encodedGif(offset);
        offset.image = QRect(0, 1, 20, 10);
        QTest::newRow("image moved down") << encodedGif(offset);
        offset.image = QRect(0, 0, 20, 9);
        QTest::newRow("image short of the screen") << encodedGif(offset);
        offset.image = QRect(0, 0, 20, 10);
        offset.screen = QSize(20, 9);
        QTest::newRow("image past the screen") << encodedGif(offset);
        GifLayout bare = still(QSize(20, 10), 0);
        QTest::newRow("no colour table") << encodedGif(bare);
        const QByteArray plain = encodedGif(still(QSize(20, 10), 4));
        QTest::newRow("control block too short")
            << withBlockFirst(plain, 4, QByteArray("\x21\xF9\x03\x01\x00\x00\x00", 7));
        QTest::newRow("empty application extension")
            << withBlockFirst(plain, 4, QByteArray("\x21\xFF\x00", 3));
    }
    void leftToQt()
    {
        QFETCH(QByteArray, gif);
        QVERIFY(!decoder::readGif(gif, QSize(8, 8)));
        QVERIFY(endsAsQtsReaderEnds(gif));
    }

    // which makes other pixels of them than giflib; giflib decodes the rest.
    void corruptedDataEndsAsQtsReaderEnds()
    {
        const QByteArray gif = encodedGif(still(QSize(301, 203), 256), 7);
        const qsizetype imageData = kScreenDescriptorEnd + 3 * 256 + 11;
        const auto dataBytes = static_cast<std::uint32_t>(gif.size() - imageData);
        SeededRandom random(99);
        int decodedByGiflib = 0;
        for (int round = 0; round < 200; ++round) {
            QByteArray corrupted = gif;
            for (int bytes = 1 + static_cast<int>(random.bounded(3)); bytes > 0; --bytes)
                corrupted[imageData + random.bounded(dataBytes)] =
                    static_cast<char>(random.bounded(256));
            if (decoder::readGif(corrupted, QSize(4000, 4000)))
                ++decodedByGiflib;
            QVERIFY2(endsAsQtsReaderEnds(corrupted), qPrintable(QString::number(round)));
        }
        QVERIFY(decodedByGiflib > 0);
    }

    void reducedPictureDecodesWholeAgain()
    {
        const QByteArray gif = encodedGif(transparent(still(QSize(401, 300), 64), 9));
        const picture::Picture picture = loadedPicture(gif, QSize(100, 75));
        QCOMPARE(picture.screenImage().size(), QSize(101, 75));
        QCOMPARE(picture.ownSize(), QSize(401, 300));
        QCOMPARE(kavelora::tests::resultOf(picture.decodeForSize(QSize(401, 300)))
                     .convertToFormat(QImage::Format_ARGB32),
                 decodedByQt(gif, "gif"));
    }
};

QTEST_GUILESS_MAIN(TstGifReader)
#include "tst_gif_reader.moc"
