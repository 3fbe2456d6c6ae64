// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The HEIF reader, from the file's bytes to the picture, on each structure the tests' HEIF
// writer makes: the same pixels as libheif 1.15 where it opens the file, else the picture the
// file was made from; reduced reads the whole read reduced. Says which structures libheif
// refuses.

#include "decoder/common/area_reducer.h"
#include "decoder/formats/heif/heif_reader.h"
#include "heif_plan_fixtures.h"
#include "heif_samples.h"

#include <QTest>

using kavelora::decoder::readHeif;
using kavelora::decoder::ReadRequest;
using kavelora::tests::HeifStructure;

Q_DECLARE_METATYPE(HeifStructure)

namespace {

constexpr QSize kWholeCover(8192, 8192);

int largestDifference(const QImage& picture, const QImage& expected)
{
    if (picture.size() != expected.size())
        return -1;
    const QImage a = picture.convertToFormat(QImage::Format_ARGB32);
    const QImage b = expected.convertToFormat(QImage::Format_ARGB32);
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb left = a.pixel(x, y);
            const QRgb right = b.pixel(x, y);
            largest = std::max(
                {largest, qAbs(qRed(left) - qRed(right)), qAbs(qGreen(left) - qGreen(right)),
                 qAbs(qBlue(left) - qBlue(right)), qAbs(qAlpha(left) - qAlpha(right))});
        }
    }
    return largest;
}

QImage reducedByArea(const QImage& picture, int factor)
{
    QImage target(kavelora::decoder::reducedSize(picture.size(), factor), picture.format());
    kavelora::decoder::AreaReducer reducer(target, picture.height(), factor);
    for (int y = 0; y < picture.height(); ++y)
        reducer.addRow(reinterpret_cast<const QRgb*>(picture.constScanLine(y)), picture.width());
    return target;
}

void addStructureRows()
{
    QTest::addColumn<HeifStructure>("structure");
    for (int value = 0; value <= static_cast<int>(HeifStructure::SplitExtents); ++value) {
        const auto structure = static_cast<HeifStructure>(value);
        QTest::newRow(qPrintable(kavelora::tests::heifStructureName(structure))) << structure;
    }
}

} // namespace

class HeifReaderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesLibheifOrTheSource_data() { addStructureRows(); }

    void matchesLibheifOrTheSource()
    {
        QFETCH(HeifStructure, structure);
        const auto sample = kavelora::tests::heifSample(structure);
        const auto decoded = readHeif(sample.file, ReadRequest{kWholeCover, {}});
        const QImage reference = kavelora::tests::libheifPicture(sample.file);
        qInfo("libheif 1.15 %s it; Kavelora opens it", reference.isNull() ? "refuses" : "opens");
        QCOMPARE(decoded.ownSize, sample.expected.size());
        const int fromSource = largestDifference(decoded.image, sample.expected);
        qInfo("largest difference from the source picture: %d", fromSource);
        if (reference.isNull()) {
            // The coding is lossy: within what x265 at its quality loses on sharp edges.
            QVERIFY2(fromSource >= 0 && fromSource <= 24, qPrintable(QString::number(fromSource)));
            return;
        }
        const int fromLibheif = largestDifference(decoded.image, reference);
        QVERIFY2(fromLibheif >= 0 && fromLibheif <= 2, qPrintable(QString::number(fromLibheif)));
    }

    void reducedReadIsTheWholeReadReduced_data() { addStructureRows(); }

    void reducedReadIsTheWholeReadReduced()
    {
        QFETCH(HeifStructure, structure);
        const auto sample = kavelora::tests::heifSample(structure);
        const auto whole = readHeif(sample.file, ReadRequest{kWholeCover, {}});
        // Whole halves: QSize's own division rounds, which may ask for the whole picture.
        const QSize cover(whole.ownSize.width() / 2, whole.ownSize.height() / 2);
        const auto reduced = readHeif(sample.file, ReadRequest{cover, {}});
        QCOMPARE(reduced.ownSize, whole.ownSize);
        const int difference = largestDifference(reduced.image, reducedByArea(whole.image, 2));
        QVERIFY2(difference >= 0 && difference <= 1, qPrintable(QString::number(difference)));
        // The copy held already is not decoded again.
        QVERIFY(readHeif(sample.file, ReadRequest{cover, reduced.image.size()}).image.isNull());
    }
};

QTEST_APPLESS_MAIN(HeifReaderTest)
#include "tst_heif_reader.moc"
