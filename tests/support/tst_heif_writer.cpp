// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The tests' HEVC encoder and HEIF writer: streams whose NAL units and configuration hold
// together, and files libheif's own converter shows as the pictures they were made from, or
// refuses where its version cannot read the structure.

#include "heif_samples.h"
#include "picture_fixtures.h"
#include "test_files.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace kavelora::tests;

Q_DECLARE_METATYPE(kavelora::tests::HeifStructure)
Q_DECLARE_METATYPE(kavelora::tests::HevcChroma)

namespace {

constexpr int kConverterMilliseconds = 60'000;
// A lossy coding of the smooth source keeps well above this.
constexpr double kMinimumPsnr = 32;

} // namespace

class HeifWriterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void encoderOutput_data()
    {
        QTest::addColumn<QSize>("inputSize");
        QTest::addColumn<HevcChroma>("chroma");
        QTest::addColumn<int>("bitDepth");
        QTest::addColumn<QSize>("codedSize");
        QTest::addColumn<int>("chromaFormat");
        QTest::newRow("4:2:0 8 bits")
            << QSize(64, 48) << HevcChroma::Yuv420 << 8 << QSize(64, 48) << 1;
        QTest::newRow("4:2:0 odd sides padded to even")
            << QSize(33, 21) << HevcChroma::Yuv420 << 8 << QSize(34, 22) << 1;
        QTest::newRow("4:4:4 odd sides kept")
            << QSize(33, 21) << HevcChroma::Yuv444 << 8 << QSize(33, 21) << 3;
        QTest::newRow("monochrome 10 bits")
            << QSize(40, 24) << HevcChroma::Monochrome << 10 << QSize(40, 24) << 0;
    }

    void encoderOutput()
    {
        QFETCH(QSize, inputSize);
        QFETCH(HevcChroma, chroma);
        QFETCH(int, bitDepth);
        HevcOptions options;
        options.chroma = chroma;
        options.bitDepth = bitDepth;
        const HevcPicture coded = encodeHevc(heifSourcePicture(inputSize), options);
        QTEST(coded.size, "codedSize");
        const QByteArray& record = coded.configuration;
        QVERIFY(record.size() > 23);
        QCOMPARE(record[0], char{1});
        QTEST(static_cast<uchar>(record[16]) & 3, "chromaFormat");
        QCOMPARE((static_cast<uchar>(record[17]) & 7) + 8, bitDepth);
        // Three arrays: VPS, SPS and PPS.
        QCOMPARE(static_cast<int>(record[22]), 3);
        const QList<int> types = hevcNalTypes(coded.data);
        QVERIFY2(!types.isEmpty(), "the NAL units' lengths do not fill the data");
        for (const int type : types)
            QVERIFY2(type < 32, "the picture data carries a parameter set or SEI");
    }

    void libheifShowsTheSource_data()
    {
        QTest::addColumn<HeifStructure>("structure");
        QTest::addColumn<bool>("libheifOpens");
        const std::pair<HeifStructure, bool> rows[] = {
            {HeifStructure::Single, true},
            {HeifStructure::OddSizeCropped, true},
            {HeifStructure::GridOddEdges, true},
            {HeifStructure::Overlay, true},
            {HeifStructure::IdentityRotated, true},
            {HeifStructure::IdentityRotatedMirrored, true},
            {HeifStructure::Alpha, true},
            {HeifStructure::ManyAuxiliaryImages, false},
            {HeifStructure::Sequence, false},
            {HeifStructure::TenBit, true},
            {HeifStructure::Nclx, true},
            {HeifStructure::Icc, true},
            {HeifStructure::LightLevels, true},
            {HeifStructure::WideFields, true},
            {HeifStructure::SplitExtents, true},
            {HeifStructure::LosslessRgb, true},
        };
        for (const auto& [structure, opens] : rows)
            QTest::newRow(qPrintable(heifStructureName(structure))) << structure << opens;
    }

    void libheifShowsTheSource()
    {
        QFETCH(HeifStructure, structure);
        QFETCH(bool, libheifOpens);
        const QString converter = QStandardPaths::findExecutable(QStringLiteral("heif-convert"));
        if (converter.isEmpty())
            QSKIP("heif-convert (libheif-examples) is not installed");
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const HeifSample sample = heifSample(structure);
        const QString input =
            writeFixture(QDir(folder.path()), QStringLiteral("in.heic"), sample.file);
        const QString output = folder.filePath(QStringLiteral("out.png"));
        QProcess process;
        process.start(converter, {input, output});
        QVERIFY(process.waitForFinished(kConverterMilliseconds));
        const bool opened = process.exitStatus() == QProcess::NormalExit &&
                            process.exitCode() == 0 && QFile::exists(output);
        if (!opened)
            qInfo("libheif: %s", process.readAllStandardError().trimmed().constData());
        QCOMPARE(opened, libheifOpens);
        if (!opened)
            return;
        const QImage shown(output);
        QCOMPARE(shown.size(), sample.expected.size());
        const double fidelity = psnr(shown.convertToFormat(QImage::Format_ARGB32), sample.expected);
        qInfo("%s: %.1f dB against the source", qPrintable(heifStructureName(structure)), fidelity);
        // A lossless coding of RGB shows the source exactly (psnr() says 99 dB for equal).
        const double minimum = structure == HeifStructure::LosslessRgb ? 99 : kMinimumPsnr;
        QVERIFY2(fidelity >= minimum, qPrintable(QString::number(fidelity)));
    }
};

QTEST_GUILESS_MAIN(HeifWriterTest)
#include "tst_heif_writer.moc"
