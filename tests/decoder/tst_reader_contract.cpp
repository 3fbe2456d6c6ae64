// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// What every picture reader promises, a row per format and kind of file, through the
// decoder's one entry: the pixels of the reference decoder when not reduced, its area
// average within a stated PSNR when reduced, broken files refused as the reference refuses
// them, and the pixel cap.

#include "decoder/common/area_reducer.h"
#include "decoder/picture_decoder.h"
#include "picture_fixtures.h"
#include "platform/runtime_error.h"
#include "qt_reference.h"
#include "reader_contract_samples.h"

#include <QColorSpace>
#include <QTemporaryDir>
#include <QTest>

using namespace kavelora;
using namespace kavelora::tests;
using platform::ErrorNumber;
using platform::RuntimeError;

Q_DECLARE_METATYPE(kavelora::tests::ContractPicture)
Q_DECLARE_METATYPE(kavelora::tests::ReducedPicture)
Q_DECLARE_METATYPE(kavelora::tests::BrokenFile)
Q_DECLARE_METATYPE(kavelora::tests::CappedFile)

namespace {

decoder::DecodedPicture decoded(const QByteArray& bytes, QSize cover, QSize held = {})
{
    return decoder::decodePicture(bytes, cover, held);
}

// The error number the decoder refuses bytes with, or 0 when it decodes them.
int refusal(const QByteArray& bytes, QSize cover)
{
    try {
        decoded(bytes, cover);
        return 0;
    } catch (const RuntimeError& error) {
        return error.number();
    }
}

QImage argb(const QImage& image)
{
    return image.convertToFormat(QImage::Format_ARGB32);
}

// True when the two pictures are the same size and no channel differs by more than tolerance.
bool nearlyEqual(const QImage& actual, const QImage& expected, int tolerance)
{
    if (actual.size() != expected.size())
        return false;
    const QImage a = argb(actual);
    const QImage e = argb(expected);
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = e.pixel(x, y);
            if (!colourNear(p, q, tolerance) || std::abs(qAlpha(p) - qAlpha(q)) > tolerance)
                return false;
        }
    }
    return true;
}

} // namespace

class TstReaderContract : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_encoderFiles;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_encoderFiles.isValid()); }

    void unreducedIsTheReferencesPixels_data()
    {
        QTest::addColumn<ContractPicture>("picture");
        for (const ContractPicture& picture : wholePictures(m_encoderFiles.path()))
            QTest::newRow(picture.name.constData()) << picture;
    }
    void unreducedIsTheReferencesPixels()
    {
        QFETCH(ContractPicture, picture);
        if (picture.bytes.isEmpty())
            QSKIP("the encoder is missing (test.sh installs it)");
        const QImage reference = picture.qtFormat.isEmpty()
                                     ? picture.source
                                     : decodedByQt(picture.bytes, picture.qtFormat.constData());
        QVERIFY(!reference.isNull());
        const decoder::DecodedPicture file = decoded(picture.bytes, reference.size());
        QCOMPARE(file.format, picture.name.split(' ').first());
        const decoder::DecodedPicture& shown = file;
        QCOMPARE(shown.ownSize, reference.size());
        QCOMPARE(shown.image.size(), reference.size());
        if (picture.qtFormat.isEmpty()) {
            // The lossless encoders keep every sample but for rounding in their colour spaces.
            QVERIFY(nearlyEqual(shown.image, reference, 1));
        } else {
            QCOMPARE(argb(shown.image), argb(reference));
        }
        if (picture.sameFormat)
            QCOMPARE(shown.image.format(), reference.format());
        if (picture.sameFormat && !picture.qtFormat.isEmpty())
            QCOMPARE(shown.image.colorSpace(), reference.colorSpace());
        if (picture.format != QImage::Format_Invalid)
            QCOMPARE(shown.image.format(), picture.format);
        if (picture.alpha >= 0)
            QCOMPARE(shown.image.hasAlphaChannel(), picture.alpha == 1);
    }

    void reducedIsAnAreaAverage_data()
    {
        QTest::addColumn<ReducedPicture>("picture");
        for (const ReducedPicture& picture : areaReducedPictures())
            QTest::newRow(picture.name.constData()) << picture;
    }
    void reducedIsAnAreaAverage()
    {
        QFETCH(ReducedPicture, picture);
        const QImage whole = decodedByQt(picture.bytes, picture.qtFormat.constData());
        QVERIFY(!whole.isNull());
        for (int factor : picture.factors) {
            // Anything finer than the next factor up asks for this one.
            const QSize cover = picture.dividedTarget
                                    ? whole.size() / factor
                                    : QSize((whole.width() + factor) / (factor + 1) + 1,
                                            (whole.height() + factor) / (factor + 1) + 1);
            if (decoder::areaReductionFactor(whole.size(), cover) != factor)
                continue;
            const decoder::DecodedPicture reduced = decoded(picture.bytes, cover);
            const QImage expected = exactAreaAverage(whole, factor);
            QCOMPARE(reduced.image.size(), expected.size());
            QCOMPARE(reduced.ownSize, whole.size());
            if (picture.sameAlpha)
                QCOMPARE(reduced.image.hasAlphaChannel(), whole.hasAlphaChannel());
            // The copy held already, or the whole picture, is not decoded again.
            const QSize held = reduced.image.size();
            QVERIFY(decoded(picture.bytes, cover, held).image.isNull());
            QVERIFY(decoded(picture.bytes, cover, whole.size()).image.isNull());
            QCOMPARE(decoded(picture.bytes, cover, held + QSize(1, 0)).image.size(), held);
            if (picture.wholeBlocksOnly &&
                (whole.width() % factor != 0 || whole.height() % factor != 0))
                continue;
            const double quality = psnr(reduced.image, expected);
            if (quality < picture.minimumDb)
                QFAIL(qPrintable(QStringLiteral("factor %1: %2 dB").arg(factor).arg(quality)));
        }
    }

    // libjpeg's scaled decode is the reduction: exactly what Qt's reader gives at that scale.
    void reducedJpegIsQtsAtTheSameScale_data()
    {
        QTest::addColumn<ContractPicture>("picture");
        QTest::addColumn<int>("denominator");
        for (const auto& [picture, denominator] : scaledJpegs())
            QTest::newRow(picture.name.constData()) << picture << denominator;
    }
    void reducedJpegIsQtsAtTheSameScale()
    {
        QFETCH(ContractPicture, picture);
        QFETCH(int, denominator);
        const QImage expected = decodedByQt(picture.bytes, "jpeg", denominator);
        QVERIFY(!expected.isNull());
        const QImage image = decoded(picture.bytes, expected.size()).image;
        QCOMPARE(image.size(), expected.size());
        QCOMPARE(image.format(), expected.format());
        QCOMPARE(image.colorSpace(), expected.colorSpace());
        QCOMPARE(image, expected);
    }

    // The formats without a reduced decode give the whole picture whatever the target. HEIF
    // reduces; tst_heif_reader holds its reduced reads to the whole read reduced.
    void unreducedFormatsGiveTheWholePicture_data()
    {
        QTest::addColumn<ContractPicture>("picture");
        const QList<QByteArray> whole{"bmp", "ico", "cur", "xpm", "xbm", "pbm", "pgm", "ppm"};
        for (const ContractPicture& picture : wholePictures(m_encoderFiles.path())) {
            if (whole.contains(picture.name.split(' ').first()))
                QTest::newRow(picture.name.constData()) << picture;
        }
    }
    void unreducedFormatsGiveTheWholePicture()
    {
        QFETCH(ContractPicture, picture);
        if (picture.bytes.isEmpty())
            QSKIP("the encoder is missing (test.sh installs it)");
        const decoder::DecodedPicture wanted = decoded(picture.bytes, QSize(4096, 4096));
        const decoder::DecodedPicture small = decoded(picture.bytes, QSize(8, 8));
        QCOMPARE(small.ownSize, wanted.ownSize);
        QCOMPARE(argb(small.image), argb(wanted.image));
    }

    void brokenFilesEndAsTheReferenceEnds_data()
    {
        QTest::addColumn<BrokenFile>("file");
        for (const BrokenFile& file : brokenFiles(m_encoderFiles.path()))
            QTest::newRow(file.name.constData()) << file;
    }
    void brokenFilesEndAsTheReferenceEnds()
    {
        QFETCH(BrokenFile, file);
        if (file.bytes.isEmpty())
            QSKIP("the encoder is missing (test.sh installs it)");
        const QImage reference =
            file.qtFormat.isEmpty() ? QImage() : decodedByQt(file.bytes, file.qtFormat.constData());
        Outcome outcome = file.outcome;
        if (outcome == Outcome::AsQtsReader)
            outcome = reference.isNull() ? Outcome::Refused : Outcome::Decoded;
        else if (outcome == Outcome::Refused && !file.qtFormat.isEmpty())
            QVERIFY2(reference.isNull(), "Qt's reader decodes it");
        try {
            const QImage image = decoded(file.bytes, QSize(4000, 4000)).image;
            QVERIFY2(outcome != Outcome::Refused, "decoded a file the reference refuses");
            QVERIFY(!image.isNull());
            if (!reference.isNull())
                QCOMPARE(argb(image), argb(reference));
            // Qt's GIF reader was the program's before its own: the same format too.
            if (file.qtFormat == "gif")
                QCOMPARE(image, reference);
        } catch (const RuntimeError& error) {
            QVERIFY2(outcome != Outcome::Decoded, "refused a file the reference decodes");
            // A corrupted header may claim a picture over the pixel cap.
            if (file.outcome == Outcome::Refused || error.number() != int(ErrorNumber::OutOfMemory))
                QCOMPARE(error.number(), int(ErrorNumber::InvalidPicture));
        }
    }

    void pixelCapRefusesOnlyWhatIsOver_data()
    {
        QTest::addColumn<CappedFile>("file");
        for (const CappedFile& file : cappedFiles(m_encoderFiles.path()))
            QTest::newRow(file.name.constData()) << file;
    }
    void pixelCapRefusesOnlyWhatIsOver()
    {
        QFETCH(CappedFile, file);
        if (file.bytes.isEmpty())
            QSKIP("the encoder is missing (test.sh installs it)");
        if (file.overCap) {
            QCOMPARE(refusal(file.bytes, QSize(8, 8)), int(ErrorNumber::OutOfMemory));
            return;
        }
        try {
            QCOMPARE(decoded(file.bytes, file.size).image.size(), file.size);
        } catch (const RuntimeError& error) {
            QFAIL(qPrintable(QStringLiteral("refused: %1").arg(error.number())));
        }
    }
};

QTEST_GUILESS_MAIN(TstReaderContract)
#include "tst_reader_contract.moc"
