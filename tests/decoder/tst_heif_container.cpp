// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The plan of a HEIF's primary picture, read from the boxes the tests' writer makes: a row
// for each structure phones and cameras write, and a row for each way a file can be broken.

#include "decoder/formats/heif/heif_image_plan.h"
#include "heif_samples.h"
#include "platform/runtime_error.h"

#include <QTest>

#include <functional>

using namespace kavelora::tests;
using kavelora::decoder::heif::CodedImage;
using kavelora::decoder::heif::GridImage;
using kavelora::decoder::heif::IdentityImage;
using kavelora::decoder::heif::ImagePlan;
using kavelora::decoder::heif::ImageTransform;
using kavelora::decoder::heif::OverlayImage;
using kavelora::decoder::heif::planPrimaryImage;
using kavelora::platform::ErrorNumber;
using kavelora::platform::RuntimeError;

Q_DECLARE_METATYPE(kavelora::tests::HeifStructure)
Q_DECLARE_METATYPE(kavelora::platform::ErrorNumber)
Q_DECLARE_METATYPE(std::function<QByteArray()>)

namespace {

QString sizeText(QSize size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

QString transformsText(const std::vector<ImageTransform>& transforms)
{
    QString text;
    for (const ImageTransform& transform : transforms) {
        if (transform.kind == ImageTransform::Kind::Crop)
            text += QStringLiteral(" crop %1,%2 %3")
                        .arg(transform.kept.x())
                        .arg(transform.kept.y())
                        .arg(sizeText(transform.kept.size()));
        else if (transform.kind == ImageTransform::Kind::Rotation)
            text += QStringLiteral(" turn %1").arg(transform.quarterTurns);
        else
            text +=
                transform.leftRight ? QStringLiteral(" mirror lr") : QStringLiteral(" mirror tb");
    }
    return text;
}

// A node and what it is made from, in words: "grid 2x2 100x70 [coded 64x64 ...]".
QString nodeText(const ImagePlan& plan, int index)
{
    const auto& node = plan.nodes.at(static_cast<size_t>(index));
    QString text;
    if (std::holds_alternative<CodedImage>(node.content)) {
        text = QStringLiteral("coded ") + sizeText(node.size);
    } else if (const auto* grid = std::get_if<GridImage>(&node.content)) {
        text = QStringLiteral("grid %1x%2 %3 [")
                   .arg(grid->rows)
                   .arg(grid->columns)
                   .arg(sizeText(grid->outputSize));
        for (const int tile : grid->tiles)
            text += (tile == grid->tiles.front() ? QString() : QStringLiteral(", ")) +
                    nodeText(plan, tile);
        text += QLatin1Char(']');
    } else if (const auto* overlay = std::get_if<OverlayImage>(&node.content)) {
        text = QStringLiteral("overlay %1 fill %2,%3,%4,%5 [")
                   .arg(sizeText(overlay->outputSize))
                   .arg(overlay->canvasFill[0])
                   .arg(overlay->canvasFill[1])
                   .arg(overlay->canvasFill[2])
                   .arg(overlay->canvasFill[3]);
        for (const auto& layer : overlay->layers)
            text += QStringLiteral("%1 at %2,%3; ")
                        .arg(nodeText(plan, layer.node))
                        .arg(layer.offset.x())
                        .arg(layer.offset.y());
        text += QLatin1Char(']');
    } else {
        text = QStringLiteral("iden [") +
               nodeText(plan, std::get<IdentityImage>(node.content).node) + QLatin1Char(']');
    }
    return text + transformsText(node.transforms);
}

QString planText(const ImagePlan& plan)
{
    QString text = nodeText(plan, plan.primary);
    if (plan.alpha)
        text += QStringLiteral("; alpha ") + nodeText(plan, *plan.alpha);
    return text;
}

QString colourText(const ImagePlan& plan)
{
    QString text =
        QStringLiteral("cicp %1/%2/%3 %4")
            .arg(plan.colour.primaries)
            .arg(plan.colour.transfer)
            .arg(plan.coding.matrixCoefficients)
            .arg(plan.coding.fullRange ? QStringLiteral("full") : QStringLiteral("limited"));
    if (plan.coding.fromColourProperty)
        text += QStringLiteral(" nclx");
    if (!plan.colour.iccProfile.isEmpty())
        text += QStringLiteral("; icc");
    if (plan.coding.bitDepth)
        text += QStringLiteral("; %1 bits").arg(*plan.coding.bitDepth);
    if (plan.colour.maxContentLight > 0 || plan.colour.masteringPeak > 0)
        text += QStringLiteral("; light %1/%2")
                    .arg(static_cast<double>(plan.colour.maxContentLight))
                    .arg(static_cast<double>(plan.colour.masteringPeak));
    return text;
}

// The bytes a coded node's extents cover, one after another.
QByteArray codedBytes(const QByteArray& file, const CodedImage& image)
{
    QByteArray bytes;
    for (const auto& extent : image.data)
        bytes += file.mid(extent.offset, extent.length);
    return bytes;
}

} // namespace

class HeifContainerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void planOfStructure_data();
    void planOfStructure();
    void planOfFile_data();
    void planOfFile();
    void brokenFileRefused_data();
    void brokenFileRefused();
};

void HeifContainerTest::planOfStructure_data()
{
    QTest::addColumn<HeifStructure>("structure");
    QTest::addColumn<QString>("plan");
    QTest::addColumn<QString>("colour");
    const QString defaultColour = QStringLiteral("cicp 2/2/6 full");
    const auto row = [&](HeifStructure structure, const QString& plan,
                         const QString& colour = QString()) {
        QTest::newRow(qPrintable(heifStructureName(structure)))
            << structure << plan << (colour.isEmpty() ? defaultColour : colour);
    };
    row(HeifStructure::Single, QStringLiteral("coded 48x32"));
    row(HeifStructure::OddSizeCropped, QStringLiteral("coded 34x22 crop 0,0 33x21"));
    row(HeifStructure::GridOddEdges,
        QStringLiteral("grid 2x2 100x70 [coded 64x64, coded 64x64, coded 64x64, coded 64x64]"));
    row(HeifStructure::Overlay, QStringLiteral("overlay 64x40 fill 65535,32768,0,65535 [coded "
                                               "32x24 at 4,2; coded 24x16 at 50,30; ]"));
    row(HeifStructure::IdentityRotated, QStringLiteral("iden [coded 48x32] turn 1"));
    row(HeifStructure::IdentityRotatedMirrored,
        QStringLiteral("iden [coded 48x32] turn 1 mirror tb"));
    row(HeifStructure::Alpha, QStringLiteral("coded 48x32; alpha coded 48x32"));
    row(HeifStructure::ManyAuxiliaryImages, QStringLiteral("coded 48x32"));
    row(HeifStructure::Sequence, QStringLiteral("coded 48x32"));
    row(HeifStructure::TenBit, QStringLiteral("coded 48x32"),
        QStringLiteral("cicp 2/2/6 full; 10 bits"));
    row(HeifStructure::Nclx, QStringLiteral("coded 48x32"),
        QStringLiteral("cicp 1/13/1 full nclx"));
    row(HeifStructure::Icc, QStringLiteral("coded 48x32"), QStringLiteral("cicp 2/2/6 full; icc"));
    row(HeifStructure::LightLevels, QStringLiteral("coded 48x32"),
        QStringLiteral("cicp 2/2/6 full; light 1000/1000"));
    row(HeifStructure::WideFields, QStringLiteral("coded 48x32"));
    row(HeifStructure::SplitExtents, QStringLiteral("coded 48x32"));
    row(HeifStructure::LosslessRgb, QStringLiteral("coded 48x32"),
        QStringLiteral("cicp 1/13/0 full nclx"));
}

void HeifContainerTest::planOfStructure()
{
    QFETCH(HeifStructure, structure);
    const HeifSample sample = heifSample(structure);
    ImagePlan plan;
    try {
        plan = planPrimaryImage(sample.file);
    } catch (const RuntimeError& refusal) {
        QFAIL(refusal.what());
    }
    QTEST(planText(plan), "plan");
    QTEST(colourText(plan), "colour");
    // Every coded picture's extents hold its NAL units exactly, configured by an hvcC.
    for (const auto& node : plan.nodes) {
        if (const auto* coded = std::get_if<CodedImage>(&node.content)) {
            QCOMPARE(coded->configuration.at(0), char{1});
            QVERIFY(!hevcNalTypes(codedBytes(sample.file, *coded)).isEmpty());
        }
    }
}

void HeifContainerTest::planOfFile_data()
{
    QTest::addColumn<std::function<QByteArray()>>("file");
    QTest::addColumn<QString>("plan");
    QTest::addColumn<QString>("colour");
    const QString defaultColour = QStringLiteral("cicp 2/2/6 full");
    const auto withProperties = [](std::vector<HeifProperty> properties, bool inIdat = false) {
        return std::function([=] {
            HeifFile file;
            file.items.push_back(
                codedItem(1, encodeHevc(heifSourcePicture(QSize(48, 32))), properties));
            file.items.front().inIdat = inIdat;
            return writeHeif(file);
        });
    };
    // Each transform works on the picture the ones before it left.
    QTest::newRow("rotation, then a crop of the turned picture")
        << withProperties({heif_property::irot(1), heif_property::clap({20, 1}, {40, 1}, {}, {})})
        << QStringLiteral("coded 48x32 turn 1 crop 6,4 20x40") << defaultColour;
    QTest::newRow("crop, then rotation")
        << withProperties({heif_property::clap({40, 1}, {20, 1}, {}, {}), heif_property::irot(1)})
        << QStringLiteral("coded 48x32 crop 4,6 40x20 turn 1") << defaultColour;
    QTest::newRow("mirror left and right, then a half turn")
        << withProperties({heif_property::imir(1), heif_property::irot(2)})
        << QStringLiteral("coded 48x32 mirror lr turn 2") << defaultColour;
    const auto withLocations = [](std::optional<int> version, int fieldBytes, int indexBytes) {
        return std::function([=] {
            HeifFile file;
            file.items.push_back(codedItem(1, encodeHevc(heifSourcePicture(QSize(48, 32)))));
            file.items.front().splitAt = 40;
            file.ilocVersion = version;
            file.ilocFieldBytes = fieldBytes;
            file.ilocIndexBytes = indexBytes;
            return writeHeif(file);
        });
    };
    QTest::newRow("iloc version 0")
        << withLocations(0, 4, 0) << QStringLiteral("coded 48x32") << defaultColour;
    QTest::newRow("iloc with 8-byte fields and extent indices")
        << withLocations(1, 8, 4) << QStringLiteral("coded 48x32") << defaultColour;
    QTest::newRow("iloc version 2, 8-byte fields")
        << withLocations(2, 8, 8) << QStringLiteral("coded 48x32") << defaultColour;
    QTest::newRow("coded data in idat")
        << withProperties({}, true) << QStringLiteral("coded 48x32") << defaultColour;
    QTest::newRow("unknown property that is not essential")
        << withProperties({{heif_property::box("xyzw", "1234"), false}})
        << QStringLiteral("coded 48x32") << defaultColour;
    QTest::newRow("sequence with colour in its sample entry") << std::function([] {
        return writeHeifSequence({encodeHevc(heifSourcePicture(QSize(48, 32)))}, true,
                                 heif_property::colrNclx(9, 16, 9, false).box +
                                     heif_property::clli(4000, 1000).box);
    }) << QStringLiteral("coded 48x32") << QStringLiteral("cicp 9/16/9 limited nclx; light 4000/0");
}

void HeifContainerTest::planOfFile()
{
    QFETCH(std::function<QByteArray()>, file);
    const QByteArray bytes = file();
    try {
        const ImagePlan plan = planPrimaryImage(bytes);
        QTEST(planText(plan), "plan");
        QTEST(colourText(plan), "colour");
        const auto& coded = std::get<CodedImage>(plan.nodes.at(0).content);
        QVERIFY(!hevcNalTypes(codedBytes(bytes, coded)).isEmpty());
    } catch (const RuntimeError& refusal) {
        QFAIL(refusal.what());
    }
}

void HeifContainerTest::brokenFileRefused_data()
{
    QTest::addColumn<std::function<QByteArray()>>("file");
    QTest::addColumn<ErrorNumber>("error");
    const auto single = [] {
        HeifFile file;
        file.items.push_back(codedItem(1, encodeHevc(heifSourcePicture(QSize(32, 32)))));
        return file;
    };
    const auto invalid = ErrorNumber::InvalidPicture;
    QTest::newRow("box size past the end of the file") << std::function([=] {
        QByteArray bytes = writeHeif(single());
        bytes.truncate(bytes.size() - 10);
        return bytes;
    }) << invalid;
    QTest::newRow("extent past the end of the file") << std::function([=] {
        HeifFile file = single();
        file.items.front().claimedLength = 1u << 20;
        return writeHeif(file);
    }) << invalid;
    QTest::newRow("reference loop") << std::function([] {
        HeifFile file;
        file.items = {heifItem(1, "iden"), heifItem(2, "iden")};
        file.references = {{"dimg", 1, {2}}, {"dimg", 2, {1}}};
        return writeHeif(file);
    }) << invalid;
    QTest::newRow("grid with a tile missing") << std::function([] {
        HeifFile file = gridOfTiles(heifSourcePicture(QSize(40, 40)), QSize(32, 32));
        file.references.front().to.removeLast();
        return writeHeif(file);
    }) << invalid;
    QTest::newRow("grid larger than the cap") << std::function([] {
        HeifFile file = gridOfTiles(heifSourcePicture(QSize(40, 40)), QSize(32, 32));
        file.items.front().data = gridData(2, 2, QSize(65000, 65000));
        return writeHeif(file);
    }) << ErrorNumber::OutOfMemory;
    QTest::newRow("zero-size grid") << std::function([] {
        HeifFile file = gridOfTiles(heifSourcePicture(QSize(40, 40)), QSize(32, 32));
        file.items.front().data = gridData(2, 2, QSize(0, 0));
        return writeHeif(file);
    }) << invalid;
    QTest::newRow("grid larger than its tiles") << std::function([] {
        HeifFile file = gridOfTiles(heifSourcePicture(QSize(40, 40)), QSize(32, 32));
        file.items.front().data = gridData(2, 2, QSize(65, 40));
        return writeHeif(file);
    }) << invalid;
    QTest::newRow("missing hvcC") << std::function([=] {
        HeifFile file = single();
        file.items.front().properties.erase(file.items.front().properties.begin());
        return writeHeif(file);
    }) << invalid;
    QTest::newRow("idat extent past idat") << std::function([] {
        HeifFile file = gridOfTiles(heifSourcePicture(QSize(40, 40)), QSize(32, 32));
        file.items.front().claimedLength = 64;
        return writeHeif(file);
    }) << invalid;
    QTest::newRow("unknown construction method") << std::function([=] {
        HeifFile file = single();
        file.items.front().constructionMethod = 2;
        return writeHeif(file);
    }) << invalid;
    QTest::newRow("unknown essential property") << std::function([=] {
        HeifFile file = single();
        file.items.front().properties.push_back({heif_property::box("xyzw", "1234"), true});
        return writeHeif(file);
    }) << invalid;
    QTest::newRow("coded picture without ispe") << std::function([=] {
        HeifFile file = single();
        file.items.front().properties.pop_back();
        return writeHeif(file);
    }) << invalid;
    QTest::newRow("primary item of no picture") << std::function([=] {
        HeifFile file = single();
        file.items.front().type = "Exif";
        return writeHeif(file);
    }) << invalid;
    QTest::newRow("crop past the picture") << std::function([=] {
        HeifFile file = single();
        file.items.front().properties.push_back(heif_property::clap({40, 1}, {8, 1}, {}, {}));
        return writeHeif(file);
    }) << invalid;
    QTest::newRow("no primary item and no track") << std::function([=] {
        HeifFile file = single();
        file.primary = 9;
        return writeHeif(file);
    }) << invalid;
    QTest::newRow("sequence without hvcC") << std::function([] {
        QByteArray bytes = writeHeifSequence({encodeHevc(heifSourcePicture(QSize(32, 32)))});
        bytes.replace("hvcC", "hvcX");
        return bytes;
    }) << invalid;
    QTest::newRow("sequence sample past the end") << std::function([] {
        QByteArray bytes = writeHeifSequence({encodeHevc(heifSourcePicture(QSize(32, 32)))});
        const qsizetype mdat = bytes.indexOf("mdat") - 4;
        bytes.truncate(mdat);
        return bytes;
    }) << invalid;
}

void HeifContainerTest::brokenFileRefused()
{
    QFETCH(std::function<QByteArray()>, file);
    QFETCH(ErrorNumber, error);
    const QByteArray bytes = file();
    try {
        planPrimaryImage(bytes);
        QFAIL("a broken file was planned");
    } catch (const RuntimeError& refusal) {
        QCOMPARE(refusal.errorNumber(), error);
    }
}

QTEST_GUILESS_MAIN(HeifContainerTest)
#include "tst_heif_container.moc"
