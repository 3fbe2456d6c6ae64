// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "heif_samples.h"

#include <QColorSpace>
#include <QPainter>
#include <QTransform>
#include <QtEndian>

namespace kavelora::tests {
namespace {

constexpr QSize kSide(48, 32);

HeifFile singleFile(const HevcPicture& picture, std::vector<HeifProperty> extra = {})
{
    HeifFile file;
    file.items.push_back(codedItem(1, picture, std::move(extra)));
    return file;
}

HeifSample overlay()
{
    const QImage first = heifSourcePicture(QSize(32, 24));
    const QImage second = heifSourcePicture(QSize(24, 16)).mirrored(true, false);
    HeifFile file;
    const QSize canvas(64, 40);
    HeifItem iovl =
        heifItem(1, "iovl", overlayData({0xffff, 0x8000, 0, 0xffff}, canvas, {{4, 2}, {50, 30}}));
    iovl.inIdat = true;
    iovl.properties = {heif_property::ispe(canvas)};
    file.items.push_back(iovl);
    for (const auto& [layerId, layer] : {std::pair{2u, first}, std::pair{3u, second}}) {
        HeifItem coded = codedItem(layerId, encodeHevc(layer));
        coded.hidden = true;
        file.items.push_back(coded);
    }
    file.references.push_back({"dimg", 1, {2, 3}});
    QImage expected(canvas, QImage::Format_ARGB32);
    expected.fill(qRgb(255, 128, 0));
    QPainter painter(&expected);
    painter.drawImage(QPoint(4, 2), first);
    painter.drawImage(QPoint(50, 30), second);
    painter.end();
    return {writeHeif(file), expected};
}

// An iden item over a hidden coded picture, with the given transforms.
HeifSample derived(const QImage& source, std::vector<HeifProperty> transforms,
                   const QImage& expected)
{
    HeifFile file;
    HeifItem iden = heifItem(1, "iden", {});
    iden.properties = {heif_property::ispe(source.size())};
    iden.properties.insert(iden.properties.end(), transforms.begin(), transforms.end());
    file.items.push_back(iden);
    HeifItem coded = codedItem(2, encodeHevc(source));
    coded.hidden = true;
    file.items.push_back(coded);
    file.references.push_back({"dimg", 1, {2}});
    return {writeHeif(file), expected};
}

HeifSample withAlpha(const QImage& source)
{
    QImage expected = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < expected.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(expected.scanLine(y));
        for (int x = 0; x < expected.width(); ++x)
            row[x] = qRgba(qRed(row[x]), qGreen(row[x]), qBlue(row[x]), 255 * x / expected.width());
    }
    HeifFile file = singleFile(encodeHevc(source));
    HevcOptions alphaOptions;
    alphaOptions.chroma = HevcChroma::Monochrome;
    alphaOptions.alphaAsLuma = true;
    alphaOptions.fullRange = true;
    HeifItem alpha =
        codedItem(2, encodeHevc(expected, alphaOptions), {heif_property::auxC(kAlphaUrn)});
    alpha.hidden = true;
    file.items.push_back(alpha);
    file.references.push_back({"auxl", 2, {1}});
    return {writeHeif(file), expected};
}

// As iOS 18 writes: a thumbnail, a gain map, depth and more auxiliary pictures, all of them
// referring to the primary picture, the gain map to its tone-mapped rendition too.
HeifSample manyAuxiliaryImages(const QImage& source)
{
    HeifFile file = singleFile(encodeHevc(source));
    HevcOptions grey;
    grey.chroma = HevcChroma::Monochrome;
    const HevcPicture small = encodeHevc(source.scaled(source.size() / 2), grey);
    const QList<QByteArray> urns = {kGainMapUrn,
                                    kHevcDepthUrn,
                                    "urn:com:apple:photo:2020:aux:semanticskinmatte",
                                    "urn:com:apple:photo:2020:aux:semantichairmatte",
                                    "urn:com:apple:photo:2020:aux:semanticteethmatte",
                                    "urn:com:apple:photo:2023:aux:semanticskymatte",
                                    "urn:com:apple:photo:2019:aux:portraiteffectsmatte",
                                    kGainMapUrn};
    quint32 id = 2;
    for (const QByteArray& urn : urns) {
        HeifItem auxiliary = codedItem(id, small, {heif_property::auxC(urn)});
        auxiliary.hidden = true;
        file.items.push_back(auxiliary);
        file.references.push_back({"auxl", id++, {1}});
    }
    file.items.push_back(codedItem(id, encodeHevc(source.scaled(source.size() / 2))));
    file.references.push_back({"thmb", id++, {1}});
    HeifItem exif = heifItem(id, "Exif", QByteArray(4, '\0') + "MM" + QByteArray(6, '\0'));
    file.items.push_back(exif);
    file.references.push_back({"cdsc", id++, {1}});
    // The tone-mapped rendition derived from the primary picture and the gain map, which the
    // gain map refers to beside the primary picture.
    HeifItem toneMapped = heifItem(id, "tmap", QByteArray(1, '\0'));
    toneMapped.inIdat = true;
    file.items.push_back(toneMapped);
    file.references.push_back({"dimg", id, {1, 2}});
    file.references.front().to.append(id);
    return {writeHeif(file), source};
}

} // namespace

QImage heifSourcePicture(QSize size)
{
    QImage picture(size, QImage::Format_ARGB32);
    // The blue edge lies on an even column, where 4:2:0 chroma does not smear it.
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            row[x] = qRgb(255 * x / size.width(), 255 * y / size.height(),
                          x < (size.width() / 3 & ~1) ? 200 : 40);
    }
    return picture;
}

HeifSample heifSample(HeifStructure structure)
{
    const QImage source = heifSourcePicture(kSide);
    switch (structure) {
    case HeifStructure::Single:
        return {writeHeif(singleFile(encodeHevc(source))), source};
    case HeifStructure::OddSizeCropped: {
        const QImage odd = heifSourcePicture(QSize(33, 21));
        // Coded 34 x 22; the centred 33 x 21 kept sits half a pixel left and up of the centre.
        const HevcPicture coded = encodeHevc(odd);
        const heif_property::Fraction half{-1, 2};
        return {writeHeif(singleFile(coded, {heif_property::clap({33, 1}, {21, 1}, half, half)})),
                odd};
    }
    case HeifStructure::GridOddEdges: {
        const QImage wide = heifSourcePicture(QSize(100, 70));
        return {writeHeif(gridOfTiles(wide, QSize(64, 64))), wide};
    }
    case HeifStructure::Overlay:
        return overlay();
    case HeifStructure::IdentityRotated:
        // irot turns anticlockwise (Qt's angles turn clockwise).
        return derived(source, {heif_property::irot(1)},
                       source.transformed(QTransform().rotate(-90)));
    case HeifStructure::IdentityRotatedMirrored:
        // imir axis 0 swaps top and bottom, as libheif 1.15 shows it.
        return derived(source, {heif_property::irot(1), heif_property::imir(0)},
                       source.transformed(QTransform().rotate(-90)).mirrored(false, true));
    case HeifStructure::Alpha:
        return withAlpha(source);
    case HeifStructure::ManyAuxiliaryImages:
        return manyAuxiliaryImages(source);
    case HeifStructure::Sequence:
        return {writeHeifSequence({encodeHevc(source), encodeHevc(source.mirrored(true, false))}),
                source};
    case HeifStructure::TenBit: {
        HevcOptions deep;
        deep.bitDepth = 10;
        return {
            writeHeif(singleFile(encodeHevc(source, deep), {heif_property::pixi({10, 10, 10})})),
            source};
    }
    case HeifStructure::Nclx: {
        HevcOptions full;
        full.fullRange = true;
        full.matrixCoefficients = 1;
        return {writeHeif(singleFile(encodeHevc(source, full),
                                     {heif_property::colrNclx(1, 13, 1, true)})),
                source};
    }
    case HeifStructure::Icc:
        return {writeHeif(singleFile(
                    encodeHevc(source),
                    {heif_property::colrIcc(QColorSpace(QColorSpace::SRgb).iccProfile())})),
                source};
    case HeifStructure::LosslessRgb: {
        HevcOptions exact;
        exact.lossless = true;
        exact.chroma = HevcChroma::Yuv444;
        exact.matrixCoefficients = 0;
        exact.fullRange = true;
        return {writeHeif(singleFile(encodeHevc(source, exact),
                                     {heif_property::colrNclx(1, 13, 0, true)})),
                source};
    }
    case HeifStructure::WideFields: {
        HeifFile file = singleFile(encodeHevc(source));
        file.wideFields = true;
        return {writeHeif(file), source};
    }
    case HeifStructure::SplitExtents: {
        HeifFile file = singleFile(encodeHevc(source));
        file.items.front().splitAt = file.items.front().data.size() / 2;
        return {writeHeif(file), source};
    }
    case HeifStructure::LightLevels:
        return {writeHeif(singleFile(encodeHevc(source), {heif_property::clli(1000, 400),
                                                          heif_property::mdcv(10000000, 50)})),
                source};
    }
    return {};
}

QList<int> hevcNalTypes(const QByteArray& data)
{
    QList<int> types;
    qsizetype at = 0;
    while (at + 4 < data.size()) {
        const auto length = qFromBigEndian<quint32>(data.constData() + at);
        if (length < 2 || length > data.size() - at - 4)
            return {};
        types.append((static_cast<uchar>(data[at + 4]) >> 1) & 0x3f);
        at += 4 + length;
    }
    return at == data.size() ? types : QList<int>{};
}

QString heifStructureName(HeifStructure structure)
{
    // A switch, so that a structure without a name does not compile cleanly.
    switch (structure) {
    case HeifStructure::Single:
        return QStringLiteral("single");
    case HeifStructure::OddSizeCropped:
        return QStringLiteral("odd_size_cropped");
    case HeifStructure::GridOddEdges:
        return QStringLiteral("grid_odd_edges");
    case HeifStructure::Overlay:
        return QStringLiteral("overlay");
    case HeifStructure::IdentityRotated:
        return QStringLiteral("iden_rotated");
    case HeifStructure::IdentityRotatedMirrored:
        return QStringLiteral("iden_rotated_mirrored");
    case HeifStructure::Alpha:
        return QStringLiteral("alpha");
    case HeifStructure::ManyAuxiliaryImages:
        return QStringLiteral("many_auxiliary_images");
    case HeifStructure::Sequence:
        return QStringLiteral("sequence");
    case HeifStructure::TenBit:
        return QStringLiteral("ten_bit");
    case HeifStructure::Nclx:
        return QStringLiteral("nclx");
    case HeifStructure::Icc:
        return QStringLiteral("icc");
    case HeifStructure::LightLevels:
        return QStringLiteral("light_levels");
    case HeifStructure::WideFields:
        return QStringLiteral("wide_fields");
    case HeifStructure::SplitExtents:
        return QStringLiteral("split_extents");
    case HeifStructure::LosslessRgb:
        return QStringLiteral("lossless_rgb");
    }
    return {};
}

} // namespace kavelora::tests
