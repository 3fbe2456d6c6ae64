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
#include "picture_fixtures.h"

#include <QTest>

using kavelora::decoder::readHeif;
using kavelora::decoder::ReadRequest;
using kavelora::tests::HeifStructure;

using kavelora::tests::reducedByArea;

using kavelora::tests::largestChannelDifference;

Q_DECLARE_METATYPE(HeifStructure)

namespace {

constexpr QSize kWholeCover(8192, 8192);

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
        const int fromSource = largestChannelDifference(decoded.image, sample.expected);
        qInfo("largest difference from the source picture: %d", fromSource);
        if (reference.isNull()) {
            // The coding is lossy: within what x265 at its quality loses on sharp edges.
            QVERIFY2(fromSource >= 0 && fromSource <= 24, qPrintable(QString::number(fromSource)));
            return;
        }
        const int fromLibheif = largestChannelDifference(decoded.image, reference);
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
        const int difference =
            largestChannelDifference(reduced.image, reducedByArea(whole.image, 2));
        QVERIFY2(difference >= 0 && difference <= 1, qPrintable(QString::number(difference)));
        // The copy held already is not decoded again.
        QVERIFY(readHeif(sample.file, ReadRequest{cover, reduced.image.size()}).image.isNull());
    }
};

QTEST_APPLESS_MAIN(HeifReaderTest)
#include "tst_heif_reader.moc"
