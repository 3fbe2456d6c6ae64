// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The HEIF plan decoder over libde265, a row per structure phones and cameras write, compared
// pixel for pixel with libheif 1.15 reading the same coded pictures from a HEIF file; reduced
// reads against the full read reduced; broken plans and data refused without a crash.

#include "decoder/common/area_reducer.h"
#include "decoder/formats/heif/heif_plan_decoder.h"
#include "decoder/formats/heif/hevc_decoder.h"
#include "decoder/formats/heif/hevc_sequence_size.h"
#include "heif_plan_fixtures.h"
#include "heif_samples.h"
#include "picture_fixtures.h"
#include "platform/runtime_error.h"

#include <QTest>

using kavelora::decoder::AreaReducer;
using kavelora::decoder::ReadRequest;
using kavelora::decoder::heif::decodeImagePlan;
using kavelora::platform::ErrorNumber;
using kavelora::platform::RuntimeError;
using kavelora::tests::heifPlanFixture;
using namespace kavelora::decoder::heif;

using kavelora::tests::reducedByArea;

using kavelora::tests::largestChannelDifference;

Q_DECLARE_METATYPE(ErrorNumber)

namespace {

constexpr QSize kWholeCover(8192, 8192);

ErrorNumber errorOf(const QByteArray& data, const ImagePlan& plan)
{
    try {
        decodeImagePlan(data, plan, ReadRequest{kWholeCover, {}});
    } catch (const RuntimeError& error) {
        return error.errorNumber();
    }
    return ErrorNumber{};
}

} // namespace

class HeifPlanDecoderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesLibheifOrTheSource_data()
    {
        QTest::addColumn<QString>("structure");
        for (const QString& structure : kavelora::tests::heifPlanStructures())
            QTest::newRow(qPrintable(structure)) << structure;
    }

    void matchesLibheifOrTheSource()
    {
        QFETCH(QString, structure);
        const auto fixture = heifPlanFixture(structure);
        const auto decoded =
            decodeImagePlan(fixture.data, fixture.plan, ReadRequest{kWholeCover, {}});
        QImage reference = kavelora::tests::libheifPicture(fixture.heif);
        if (!fixture.libheifFault.isEmpty()) {
            // Where libheif is wrong, the row says so and shows that it still is.
            QVERIFY2(largestChannelDifference(reference, fixture.source) > 2,
                     qPrintable(fixture.libheifFault));
            reference = QImage();
        }
        QVERIFY2(!reference.isNull() || !fixture.source.isNull(),
                 "libheif refuses the file and its coding is lossy");
        const QImage expected = reference.isNull() ? fixture.source : reference;
        QCOMPARE(decoded.ownSize, expected.size());
        const int difference = largestChannelDifference(decoded.image, expected);
        QVERIFY2(difference >= 0 && difference <= 2, qPrintable(QString::number(difference)));
        if (!fixture.source.isNull())
            QVERIFY(largestChannelDifference(decoded.image, fixture.source) <= 2);
    }

    void reducedReadIsTheFullReadReduced_data()
    {
        QTest::addColumn<QString>("structure");
        QTest::addColumn<QSize>("cover");
        QTest::addColumn<int>("factor");
        QTest::newRow("grid by 3, edges partial")
            << "grid with odd edge tiles" << QSize(30, 20) << 3;
        QTest::newRow("grid by 7, blocks across tiles")
            << "grid with odd edge tiles" << QSize(14, 10) << 7;
        QTest::newRow("single by 2") << "single 8-bit" << QSize(24, 16) << 2;
        QTest::newRow("turned and mirrored by 4") << "quarter turn and mirror" << QSize(8, 12) << 4;
        QTest::newRow("clean aperture by 2") << "clean aperture" << QSize(15, 10) << 2;
        QTest::newRow("alpha by 4") << "alpha" << QSize(12, 8) << 4;
        QTest::newRow("10-bit by 2") << "single 10-bit" << QSize(24, 16) << 2;
    }

    void reducedReadIsTheFullReadReduced()
    {
        QFETCH(QString, structure);
        QFETCH(QSize, cover);
        QFETCH(int, factor);
        const auto fixture = heifPlanFixture(structure);
        const auto whole =
            decodeImagePlan(fixture.data, fixture.plan, ReadRequest{kWholeCover, {}});
        const auto reduced = decodeImagePlan(fixture.data, fixture.plan, ReadRequest{cover, {}});
        QCOMPARE(reduced.ownSize, whole.ownSize);
        QCOMPARE(reduced.image.format(), whole.image.format());
        const int difference =
            largestChannelDifference(reduced.image, reducedByArea(whole.image, factor));
        QVERIFY2(difference >= 0 && difference <= 1, qPrintable(QString::number(difference)));
    }

    void heldSizeGivesNoPicture()
    {
        const auto fixture = heifPlanFixture(QStringLiteral("grid with odd edge tiles"));
        const auto decoded =
            decodeImagePlan(fixture.data, fixture.plan, ReadRequest{QSize(30, 20), QSize(34, 24)});
        QVERIFY(decoded.image.isNull());
        QCOMPARE(decoded.ownSize, QSize(100, 70));
    }

    void brokenPlansAreRefused_data()
    {
        QTest::addColumn<QString>("structure");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<ErrorNumber>("error");
        const auto invalid = ErrorNumber::InvalidPicture;
        QTest::newRow("data past the end of the file") << "single 8-bit"
                                                       << "extent past end" << invalid;
        QTest::newRow("data of noise") << "single 8-bit"
                                       << "noise" << invalid;
        QTest::newRow("unit length past its data") << "single 8-bit"
                                                   << "cut data" << invalid;
        QTest::newRow("missing hvcC") << "single 8-bit"
                                      << "no configuration" << invalid;
        QTest::newRow("item far larger than coded") << "single 8-bit"
                                                    << "item larger" << invalid;
        QTest::newRow("item larger by a little") << "single 8-bit"
                                                 << "item a little larger" << invalid;
        QTest::newRow("grid missing a tile") << "grid with odd edge tiles"
                                             << "tile missing" << invalid;
        QTest::newRow("grid tile out of range") << "grid with odd edge tiles"
                                                << "tile out of range" << invalid;
        QTest::newRow("grid larger than its tiles") << "grid with odd edge tiles"
                                                    << "grid larger" << invalid;
        QTest::newRow("grid past the side cap") << "grid with odd edge tiles"
                                                << "grid past cap" << invalid;
        QTest::newRow("grid of grids") << "grid with odd edge tiles"
                                       << "grid tile" << invalid;
        QTest::newRow("derived picture referencing itself") << "single 8-bit"
                                                            << "loop" << invalid;
        QTest::newRow("primary out of range") << "single 8-bit"
                                              << "no primary" << invalid;
    }

    void brokenPlansAreRefused()
    {
        QFETCH(QString, structure);
        QFETCH(QString, fault);
        QFETCH(ErrorNumber, error);
        auto fixture = heifPlanFixture(structure);
        ImagePlan& plan = fixture.plan;
        ImageNode& primary = plan.nodes[static_cast<std::size_t>(plan.primary)];
        auto* coded = std::get_if<CodedImage>(&primary.content);
        auto* grid = std::get_if<GridImage>(&primary.content);
        if (fault == u"extent past end")
            coded->data.front().length = fixture.data.size() + 1;
        else if (fault == u"noise")
            fixture.data.fill('\x55');
        else if (fault == u"cut data")
            fixture.data.chop(1);
        else if (fault == u"no configuration")
            coded->configuration.clear();
        else if (fault == u"item larger")
            primary.size = QSize(4000, 3000);
        else if (fault == u"item a little larger")
            primary.size += QSize(2, 0);
        else if (fault == u"tile missing")
            grid->tiles.pop_back();
        else if (fault == u"tile out of range")
            grid->tiles.back() = 999;
        else if (fault == u"grid larger")
            grid->outputSize.rwidth() += 40;
        else if (fault == u"grid past cap")
            grid->outputSize = QSize(70000, 70);
        else if (fault == u"grid tile")
            grid->tiles.back() = plan.primary;
        else if (fault == u"loop")
            primary.content = IdentityImage{plan.primary};
        else if (fault == u"no primary")
            plan.primary = 7;
        QCOMPARE(errorOf(fixture.data, plan), error);
    }

    void sequenceSizeIsReadBeforeDecoding_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("bitDepth");
        QTest::addColumn<bool>("fourFourFour");
        QTest::newRow("8-bit 4:2:0") << QSize(200, 120) << 8 << false;
        QTest::newRow("10-bit 4:4:4") << QSize(64, 64) << 10 << true;
        QTest::newRow("odd sides, coded a row and column larger") << QSize(33, 21) << 8 << false;
    }

    void sequenceSizeIsReadBeforeDecoding()
    {
        QFETCH(QSize, size);
        QFETCH(int, bitDepth);
        QFETCH(bool, fourFourFour);
        kavelora::tests::HevcOptions options;
        options.bitDepth = bitDepth;
        if (fourFourFour)
            options.chroma = kavelora::tests::HevcChroma::Yuv444;
        const auto coded =
            kavelora::tests::encodeHevc(kavelora::tests::heifSourcePicture(size), options);
        const auto configuration = parseHevcConfiguration(coded.configuration);
        int sequences = 0;
        for (const QByteArrayView unit : configuration.parameterSets) {
            if (!isSequenceParameterSet(unit))
                continue;
            ++sequences;
            // Whole coding blocks (x265's are 16 pixels at least), cropped by the stream.
            const QSize read = sequencePictureSize(unit).value_or(QSize());
            QCOMPARE(read.width(), (coded.size.width() + 15) / 16 * 16);
            QCOMPARE(read.height(), (coded.size.height() + 15) / 16 * 16);
            // Every shorter cut of it is refused or read, never read past.
            for (qsizetype length = 0; length < unit.size(); ++length)
                sequencePictureSize(unit.first(length));
        }
        QCOMPARE(sequences, 1);
    }

    // libde265 would allocate the coded size before anything could be checked.
    void codedFarLargerThanItsItemIsRefused_data()
    {
        QTest::addColumn<QSize>("itemSize");
        QTest::addColumn<bool>("decodes");
        QTest::newRow("within a coding block") << QSize(150, 70) << true;
        QTest::newRow("half the coded size") << QSize(100, 60) << false;
    }

    void codedFarLargerThanItsItemIsRefused()
    {
        QFETCH(QSize, itemSize);
        QFETCH(bool, decodes);
        const auto coded =
            kavelora::tests::encodeHevc(kavelora::tests::heifSourcePicture(QSize(200, 120)));
        ImagePlan plan;
        plan.nodes.push_back(
            {CodedImage{coded.configuration, {FileExtent{0, coded.data.size()}}}, itemSize, {}});
        if (!decodes) {
            QCOMPARE(errorOf(coded.data, plan), ErrorNumber::InvalidPicture);
            return;
        }
        const auto decoded = decodeImagePlan(coded.data, plan, ReadRequest{kWholeCover, {}});
        QCOMPARE(decoded.image.size(), itemSize);
    }
};

QTEST_APPLESS_MAIN(HeifPlanDecoderTest)
#include "tst_heif_plan_decoder.moc"
