// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The GIF reader against Qt's own: still pictures decode to the pixels QImageReader gives when
// not reduced and to an area average of them when reduced; animations and the kinds Qt's
// reader draws in its own way are left to it, and broken files end as Qt's reader ends them.

#include "byte_fields.h"
#include "decoder/common/area_reducer.h"
#include "decoder/formats/gif/gif_reader.h"
#include "decoder/picture_decoder.h"
#include "loaded_picture.h"
#include "picture_fixtures.h"
#include "platform/runtime_error.h"
#include "seeded_random.h"

#include <QBuffer>
#include <QImageReader>
#include <QRect>
#include <QTest>

#include <memory>
#include <vector>

#include <gif_lib.h>

using namespace kavelora;
using namespace kavelora::tests;

namespace {

constexpr qsizetype kScreenDescriptorEnd = 13;

struct GifLayout
{
    QSize screen;
    // The image's place on the screen; the whole screen when empty.
    QRect image;
    int globalColours = 0;
    int localColours = 0;
    bool graphicControl = false;
    int transparentIndex = -1;
    bool interlaced = false;
    int images = 1;
};

// Distinct colours, none of them gray, so that a wrong index shows.
QRgb paletteColour(int index)
{
    return qRgb((index * 37 + 11) % 256, (index * 91 + 60) % 256, (index * 13 + 200) % 256);
}

struct ColourMapFree
{
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

std::unique_ptr<ColorMapObject, ColourMapFree> colourMap(int count, int firstColour)
{
    if (count == 0)
        return nullptr;
    std::unique_ptr<ColorMapObject, ColourMapFree> map(GifMakeMapObject(count, nullptr));
    for (int i = 0; i < count; ++i) {
        const QRgb colour = paletteColour(firstColour + i);
        map->Colors[i] = {static_cast<GifByteType>(qRed(colour)),
                          static_cast<GifByteType>(qGreen(colour)),
                          static_cast<GifByteType>(qBlue(colour))};
    }
    return map;
}

int appendBytes(GifFileType* gif, const GifByteType* data, int length)
{
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), length);
    return length;
}

// Indices in bands with scattered detail, as a drawing reduced to a palette holds them.
std::vector<GifPixelType> drawingIndices(QSize size, int colours, std::uint64_t seed)
{
    SeededRandom random(seed);
    std::vector<GifPixelType> indices;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int band = (x * 3 + y * 2) / 7;
            const int detail = random.bounded(5) == 0 ? static_cast<int>(random.bounded(4)) : 0;
            indices.push_back(static_cast<GifPixelType>((band + detail) % colours));
        }
    }
    return indices;
}

// A GIF written by giflib's encoder; every image holds the same indices.
QByteArray encodedGif(const GifLayout& layout, std::uint64_t seed = 1)
{
    const QRect place = layout.image.isEmpty() ? QRect(QPoint(), layout.screen) : layout.image;
    const int colours = layout.localColours > 0 ? layout.localColours : layout.globalColours;
    std::vector<GifPixelType> indices = drawingIndices(place.size(), std::max(colours, 2), seed);
    const auto global = colourMap(layout.globalColours, 0);
    const auto local = colourMap(layout.localColours, 100);
    QByteArray bytes;
    int error = D_GIF_SUCCEEDED;
    GifFileType* gif = EGifOpen(&bytes, appendBytes, &error);
    if (!gif)
        return {};
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, layout.screen.width(), layout.screen.height(), 8, 0, global.get());
    for (int image = 0; image < layout.images; ++image) {
        if (layout.graphicControl) {
            const GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 5,
                                               layout.transparentIndex};
            GifByteType extension[4];
            EGifGCBToExtension(&control, extension);
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension);
        }
        EGifPutImageDesc(gif, place.x(), place.y(), place.width(), place.height(),
                         layout.interlaced, local.get());
        // EGifPutLine masks the indices it is given in place.
        std::vector<GifPixelType> rows = indices;
        for (int y = 0; y < place.height(); ++y)
            EGifPutLine(gif, rows.data() + static_cast<std::size_t>(y * place.width()),
                        place.width());
    }
    EGifCloseFile(gif, &error);
    return bytes;
}

GifLayout still(QSize size, int globalColours)
{
    GifLayout layout;
    layout.screen = size;
    layout.globalColours = globalColours;
    return layout;
}

GifLayout transparent(GifLayout layout, int index)
{
    layout.graphicControl = true;
    layout.transparentIndex = index;
    return layout;
}

// gif with raw bytes put in before its first block, after the global colour table.
QByteArray withBlockFirst(QByteArray gif, int globalColours, const QByteArray& block)
{
    return gif.insert(kScreenDescriptorEnd + 3 * globalColours, block);
}

// A GIF written with a table of 256 colours, whose table is then cut to its first four: its
// indices run past the table.
QByteArray indicesPastTable(bool withTransparency)
{
    GifLayout layout = still(QSize(48, 20), 256);
    if (withTransparency)
        layout = transparent(layout, 2);
    QByteArray gif = encodedGif(layout);
    gif[10] = static_cast<char>((gif[10] & ~0x07) | 0x01);
    return gif.remove(kScreenDescriptorEnd + 4 * 3, 252 * 3);
}

// gif, written without extensions or a local table, with both descriptors claiming size.
QByteArray claimingSize(QByteArray gif, int globalColours, QSize size)
{
    const qsizetype image = kScreenDescriptorEnd + 3 * globalColours + 1;
    for (const qsizetype at : {qsizetype(6), image + 4}) {
        put16le(gif, at, static_cast<quint32>(size.width()));
        put16le(gif, at + 2, static_cast<quint32>(size.height()));
    }
    return gif;
}

QImage plainDecode(const QByteArray& gif)
{
    QBuffer buffer;
    buffer.setData(gif);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer, "gif").read();
}

// True when the decoder, whichever reader takes gif, refuses it as Qt's reader does, or shows
// the pixels Qt's reader shows.
bool endsAsQtsReaderEnds(const QByteArray& gif)
{
    const QImage qt = plainDecode(gif);
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
    void unreducedMatchesQt_data()
    {
        QTest::addColumn<QByteArray>("gif");
        QTest::newRow("1-bit table, 7 x 5") << encodedGif(still(QSize(7, 5), 2));
        QTest::newRow("2-bit table, 33 x 17") << encodedGif(still(QSize(33, 17), 4));
        QTest::newRow("4-bit table, one row") << encodedGif(still(QSize(64, 1), 16));
        QTest::newRow("8-bit table, 301 x 203") << encodedGif(still(QSize(301, 203), 256));
        QTest::newRow("one pixel") << encodedGif(still(QSize(1, 1), 2));
        GifLayout local = still(QSize(40, 30), 4);
        local.localColours = 16;
        QTest::newRow("local table over the global one") << encodedGif(local);
        local.globalColours = 0;
        QTest::newRow("local table alone") << encodedGif(local);
        QTest::newRow("transparent index") << encodedGif(transparent(still(QSize(31, 9), 16), 3));
        QTest::newRow("transparent index past the table")
            << encodedGif(transparent(still(QSize(31, 9), 4), 200));
        QTest::newRow("control block without transparency")
            << encodedGif(transparent(still(QSize(31, 9), 16), NO_TRANSPARENT_COLOR));
        QTest::newRow("indices past the table") << indicesPastTable(false);
        QTest::newRow("indices past the table, with transparency") << indicesPastTable(true);
        const QByteArray plain = encodedGif(still(QSize(50, 20), 8));
        QTest::newRow("no trailer") << plain.chopped(1);
        QTest::newRow("bytes after the trailer") << plain + QByteArray(100, 'x');
        QTest::newRow("comment and application extension first")
            << withBlockFirst(plain, 8,
                              QByteArray("\x21\xFE\x03"
                                         "abc\x00",
                                         7) +
                                  QByteArray("\x21\xFF\x0B"
                                             "NETSCAPE2.0\x03\x01\x00\x00\x00",
                                             19));
        QTest::newRow("more pixels than the image")
            << claimingSize(encodedGif(still(QSize(50, 20), 8)), 8, QSize(50, 15));
    }
    void unreducedMatchesQt()
    {
        QFETCH(QByteArray, gif);
        const QImage qt = plainDecode(gif);
        QVERIFY(!qt.isNull());
        const std::optional<decoder::DecodedPicture> decoded = decoder::readGif(gif, qt.size());
        QVERIFY(decoded);
        QCOMPARE(decoded->ownSize, qt.size());
        // QImage compares the format too.
        QCOMPARE(decoded->image, qt);
        QCOMPARE(decoder::decodePicture(gif, qt.size()).image, qt);
    }

    void reducedIsAnAreaAverage_data()
    {
        QTest::addColumn<QByteArray>("gif");
        QTest::newRow("8-bit table, 240 x 120") << encodedGif(still(QSize(240, 120), 256));
        QTest::newRow("transparent, 203 x 151")
            << encodedGif(transparent(still(QSize(203, 151), 16), 5));
        QTest::newRow("indices past the table, with transparency") << indicesPastTable(true);
        QTest::newRow("2-bit table, 1000 x 7") << encodedGif(still(QSize(1000, 7), 4));
    }
    void reducedIsAnAreaAverage()
    {
        QFETCH(QByteArray, gif);
        const QImage whole = plainDecode(gif);
        for (int factor : {2, 3, 5}) {
            // Anything finer than the next factor up asks for this one.
            const QSize cover((whole.width() + factor) / (factor + 1) + 1,
                              (whole.height() + factor) / (factor + 1) + 1);
            if (decoder::areaReductionFactor(whole.size(), cover) != factor)
                continue;
            const std::optional<decoder::DecodedPicture> reduced = decoder::readGif(gif, cover);
            QVERIFY(reduced);
            const QImage expected = exactAreaAverage(whole, factor);
            QCOMPARE(reduced->image.size(), expected.size());
            QCOMPARE(reduced->ownSize, whole.size());
            QCOMPARE(reduced->image.hasAlphaChannel(), whole.hasAlphaChannel());
            const double quality = psnr(reduced->image, expected);
            if (quality < 50.0)
                QFAIL(qPrintable(QStringLiteral("factor %1: %2 dB").arg(factor).arg(quality)));

            // The copy held already, or the whole picture, is not decoded again.
            const QSize held = reduced->image.size();
            QVERIFY(decoder::decodePicture(gif, cover, held).image.isNull());
            QVERIFY(decoder::decodePicture(gif, cover, whole.size()).image.isNull());
            QCOMPARE(decoder::decodePicture(gif, cover, held + QSize(1, 0)).image.size(), held);
        }
    }

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

    // Broken files are shown, or refused, as Qt's reader shows or refuses them.
    void brokenKeepsQtsOutcome_data()
    {
        QTest::addColumn<QByteArray>("gif");
        const QByteArray gif = encodedGif(still(QSize(301, 203), 256), 7);
        QVERIFY(gif.size() > 20000);
        const qsizetype imageData = kScreenDescriptorEnd + 3 * 256 + 11;
        QTest::newRow("cut in the screen descriptor") << gif.left(10);
        QTest::newRow("cut in the colour table") << gif.left(kScreenDescriptorEnd + 100);
        QTest::newRow("cut after the image descriptor") << gif.left(imageData);
        for (const int percent : {25, 50, 99}) {
            const QByteArray name = "cut at " + QByteArray::number(percent) + "%";
            QTest::newRow(name.constData()) << gif.left(gif.size() * percent / 100);
        }
        QTest::newRow("no block terminator or trailer") << gif.chopped(2);
        QTest::newRow("image data ends early")
            << claimingSize(encodedGif(still(QSize(50, 20), 8)), 8, QSize(50, 25));
        QTest::newRow("unknown record after the image")
            << gif.chopped(1) + QByteArray("\x07\x00", 2);
        QTest::newRow("unknown record before the image")
            << withBlockFirst(gif, 256, QByteArray("\x07", 1));
        const QByteArray small = encodedGif(still(QSize(20, 10), 4));
        const qsizetype codeSize = kScreenDescriptorEnd + 3 * 4 + 10;
        QTest::newRow("code size of one bit") << QByteArray(small).replace(codeSize, 1, "\x01");
        QTest::newRow("code size past eight bits")
            << QByteArray(small).replace(codeSize, 1, "\x09");
        QTest::newRow("zero-sized screen")
            << claimingSize(encodedGif(still(QSize(50, 20), 8)), 8, QSize(0, 0));
    }
    void brokenKeepsQtsOutcome()
    {
        QFETCH(QByteArray, gif);
        QVERIFY(endsAsQtsReaderEnds(gif));
    }

    // Image data overwritten at random. Codes that name no string yet are left to Qt's reader,
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

    void refusesPastThePixelCap()
    {
        // One row past the cap: small enough to allocate, so only the cap refuses it.
        const QByteArray gif =
            claimingSize(encodedGif(still(QSize(50, 20), 8)), 8, QSize(8192, 8193));
        try {
            decoder::readGif(gif, QSize(8, 8));
            QFAIL("decoded past the pixel cap");
        } catch (const platform::RuntimeError& error) {
            QCOMPARE(error.number(), static_cast<int>(platform::ErrorNumber::OutOfMemory));
        }
    }

    // The screen copy is reduced, and the picture gives its whole self when asked for it.
    void reducedPictureDecodesWholeAgain()
    {
        const QByteArray gif = encodedGif(transparent(still(QSize(401, 300), 64), 9));
        const picture::Picture picture = loadedPicture(gif, QSize(100, 75));
        QCOMPARE(picture.screenImage().size(), QSize(101, 75));
        QCOMPARE(picture.ownSize(), QSize(401, 300));
        QCOMPARE(picture.decodeForSize(QSize(401, 300)).convertToFormat(QImage::Format_ARGB32),
                 plainDecode(gif));
    }
};

QTEST_APPLESS_MAIN(TstGifReader)
#include "tst_gif_reader.moc"
