// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// AVIF and JPEG XL read at a reduced size: libavif's planes are converted in strips and
// libjxl's pieces averaged as they come, so each reduced read must equal the whole read
// area-averaged, whatever the depth, alpha, orientation and sides; and AVIF's strips must
// join without a seam, exactly as libavif converts the whole picture.

#include "codec_samples.h"
#include "decoder/common/area_reducer.h"
#include "decoder/picture_decoder.h"
#include "oriented_encodings.h"
#include "picture_fixtures.h"
#include "tool_encodings.h"

#include <avif/avif.h>

#include <QTemporaryDir>
#include <QTest>
#include <QTransform>

#include <memory>

using namespace kavelora;
using namespace kavelora::tests;

namespace {

// Larger than any picture here: the whole picture is decoded.
const QSize kWholeCover(1 << 14, 1 << 14);

QImage withAlphaRamp(QImage image)
{
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] =
                (line[x] & 0x00FFFFFFu) | (static_cast<QRgb>((x * 255) / image.width()) << 24);
    }
    return image;
}

struct DecoderDeleter
{
    void operator()(avifDecoder* decoder) const { avifDecoderDestroy(decoder); }
};

// The AVIF as libavif converts it whole, then cropped, turned and mirrored by Qt: how the
// reader showed an 8-bit sRGB AVIF before it converted in strips.
QImage wholeByLibavif(const QByteArray& bytes)
{
    const std::unique_ptr<avifDecoder, DecoderDeleter> decoder(avifDecoderCreate());
    if (avifDecoderSetIOMemory(decoder.get(), reinterpret_cast<const uint8_t*>(bytes.constData()),
                               static_cast<size_t>(bytes.size())) != AVIF_RESULT_OK ||
        avifDecoderParse(decoder.get()) != AVIF_RESULT_OK ||
        avifDecoderNextImage(decoder.get()) != AVIF_RESULT_OK)
        return {};
    const avifImage& image = *decoder->image;
    QImage picture(static_cast<int>(image.width), static_cast<int>(image.height),
                   decoder->alphaPresent ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, &image);
    rgb.format = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_ARGB;
    rgb.depth = 8;
    rgb.pixels = picture.bits();
    rgb.rowBytes = static_cast<uint32_t>(picture.bytesPerLine());
    if (avifImageYUVToRGB(&image, &rgb) != AVIF_RESULT_OK)
        return {};
    avifCropRect crop;
    avifDiagnostics diagnostics;
    if ((image.transformFlags & AVIF_TRANSFORM_CLAP) &&
        avifCropRectConvertCleanApertureBox(&crop, &image.clap, image.width, image.height,
                                            image.yuvFormat, &diagnostics))
        picture = picture.copy(static_cast<int>(crop.x), static_cast<int>(crop.y),
                               static_cast<int>(crop.width), static_cast<int>(crop.height));
    if (image.transformFlags & AVIF_TRANSFORM_IROT)
        picture = picture.transformed(QTransform().rotate(-90.0 * (image.irot.angle % 4)));
    if (image.transformFlags & AVIF_TRANSFORM_IMIR)
        picture = picture.mirrored(image.imir.mode == 1, image.imir.mode == 0);
    return picture;
}

} // namespace

class TstReducedCodecReads : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // The source encoded as format with options; a JPEG XL with an orientation (1 to 8) is
    // written through libjxl, which alone can state one.
    QByteArray encodedFile(const QString& format, const QImage& source, const QStringList& options,
                           int orientation)
    {
        if (orientation > 0)
            return jxlWithOrientation(source, orientation);
        return encodedByTool(format, source, options, m_dir.path());
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void reducedIsTheWholeReadAreaAveraged_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QImage>("source");
        QTest::addColumn<int>("orientation");
        const QImage odd = detailedPhoto(QSize(203, 151));
        const QImage even = detailedPhoto(QSize(240, 160));
        const QStringList avifLossless = losslessOptions(u"avif"_qs);
        const QStringList jxlLossless = losslessOptions(u"jxl"_qs);
        QTest::newRow("avif 8-bit, odd sides") << u"avif"_qs << avifLossless << odd << 0;
        QTest::newRow("avif 8-bit lossy 4:2:0")
            << u"avif"_qs << QStringList{u"-y"_qs, u"420"_qs} << odd << 0;
        QTest::newRow("avif 10-bit 4:2:0")
            << u"avif"_qs << QStringList{u"-d"_qs, u"10"_qs, u"-y"_qs, u"420"_qs} << even << 0;
        QTest::newRow("avif 12-bit with alpha")
            << u"avif"_qs << QStringList{u"-d"_qs, u"12"_qs, u"-y"_qs, u"444"_qs}
            << withAlphaRamp(odd) << 0;
        QTest::newRow("avif with alpha") << u"avif"_qs << avifLossless << withAlphaRamp(odd) << 0;
        QTest::newRow("avif turned a quarter, then mirrored left to right")
            << u"avif"_qs
            << avifLossless + QStringList{u"--irot"_qs, u"1"_qs, u"--imir"_qs, u"1"_qs} << odd << 0;
        QTest::newRow("avif mirrored top to bottom, odd sides")
            << u"avif"_qs << avifLossless + QStringList{u"--imir"_qs, u"0"_qs} << odd << 0;
        QTest::newRow("avif cropped, then turned three quarters")
            << u"avif"_qs
            << avifLossless + QStringList{u"--crop"_qs, u"20,10,160,96"_qs, u"--irot"_qs, u"3"_qs}
            << odd << 0;
        QTest::newRow("jxl 8-bit, odd sides") << u"jxl"_qs << jxlLossless << odd << 0;
        QTest::newRow("jxl lossy") << u"jxl"_qs << QStringList{u"-d"_qs, u"1"_qs} << odd << 0;
        QTest::newRow("jxl 16-bit") << u"jxl"_qs << jxlLossless
                                    << detailedPhoto(QSize(203, 151), QImage::Format_RGBX64) << 0;
        QTest::newRow("jxl with alpha") << u"jxl"_qs << jxlLossless << withAlphaRamp(odd) << 0;
        QTest::newRow("jxl grey") << u"jxl"_qs << jxlLossless
                                  << odd.convertToFormat(QImage::Format_Grayscale8) << 0;
        // libjxl's encoder takes rows without padding, in an output of 64 KiB.
        const QImage small = detailedPhoto(QSize(100, 75));
        QTest::newRow("jxl turned a quarter clockwise") << u"jxl"_qs << QStringList{} << small << 6;
        QTest::newRow("jxl mirrored left to right") << u"jxl"_qs << QStringList{} << small << 2;
    }
    void reducedIsTheWholeReadAreaAveraged()
    {
        QFETCH(QString, format);
        QFETCH(QStringList, options);
        QFETCH(QImage, source);
        QFETCH(int, orientation);
        const QByteArray bytes = encodedFile(format, source, options, orientation);
        if (orientation > 0)
            QVERIFY(!bytes.isEmpty());
        if (bytes.isEmpty())
            QSKIP("the encoder is missing (test.sh installs it)");
        const decoder::DecodedPicture whole = decoder::decodePicture(bytes, kWholeCover);
        QVERIFY(!whole.image.isNull());
        QCOMPARE(whole.image.size(), whole.ownSize);
        int factorsTried = 0;
        for (int factor : {2, 3, 5, 8}) {
            const QSize own = whole.ownSize;
            // Anything finer than the next factor up asks for this one.
            const QSize cover((own.width() + factor) / (factor + 1) + 1,
                              (own.height() + factor) / (factor + 1) + 1);
            if (decoder::areaReductionFactor(own, cover) != factor)
                continue;
            ++factorsTried;
            const decoder::DecodedPicture reduced = decoder::decodePicture(bytes, cover);
            QCOMPARE(reduced.ownSize, own);
            QCOMPARE(reduced.image.size(), decoder::reducedSize(own, factor));
            QCOMPARE(reduced.image.hasAlphaChannel(), whole.image.hasAlphaChannel());
            const int difference =
                largestChannelDifference(reduced.image, exactAreaAverage(whole.image, factor),
                                         QImage::Format_ARGB32_Premultiplied);
            if (difference > 1)
                QFAIL(qPrintable(
                    u"factor %1: a channel differs by %2"_qs.arg(factor).arg(difference)));
            // Neither the copy held already nor the whole picture is decoded again.
            QVERIFY(decoder::decodePicture(bytes, cover, reduced.image.size()).image.isNull());
            QVERIFY(decoder::decodePicture(bytes, cover, own).image.isNull());
        }
        QVERIFY(factorsTried >= 2);
    }

    void avifStripsJoinAsAWholeConversion_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QImage>("source");
        const QImage odd = detailedPhoto(QSize(203, 151));
        QTest::newRow("4:2:0, odd sides") << QStringList{u"-y"_qs, u"420"_qs} << odd;
        QTest::newRow("4:2:2, odd sides") << QStringList{u"-y"_qs, u"422"_qs} << odd;
        QTest::newRow("4:2:0 taller than wide, turned a quarter")
            << QStringList{u"-y"_qs, u"420"_qs, u"--irot"_qs, u"1"_qs}
            << detailedPhoto(QSize(97, 250));
        QTest::newRow("4:2:0 cropped, turned three quarters and mirrored")
            << QStringList{u"-y"_qs,     u"420"_qs, u"--crop"_qs, u"20,10,160,96"_qs,
                           u"--irot"_qs, u"3"_qs,   u"--imir"_qs, u"0"_qs}
            << odd;
        QTest::newRow("4:4:4 with alpha, turned a half")
            << QStringList{u"-y"_qs, u"444"_qs, u"--irot"_qs, u"2"_qs} << withAlphaRamp(odd);
    }
    void avifStripsJoinAsAWholeConversion()
    {
        QFETCH(QStringList, options);
        QFETCH(QImage, source);
        const QByteArray bytes = encodedByTool(u"avif"_qs, source, options, m_dir.path());
        if (bytes.isEmpty())
            QSKIP("the encoder is missing (test.sh installs it)");
        const QImage expected = wholeByLibavif(bytes);
        QVERIFY(!expected.isNull());
        const QImage shown = decoder::decodePicture(bytes, kWholeCover).image;
        QCOMPARE(shown.format(), expected.format());
        QCOMPARE(shown, expected);
    }
};

QTEST_MAIN(TstReducedCodecReads)
#include "tst_reduced_codec_reads.moc"
