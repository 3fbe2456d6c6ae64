// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "heif_plan_fixtures.h"

#include "decoder/common/area_reducer.h"

#include "heif_samples.h"

#include <QtEndian>

#include <libheif/heif.h>

#include <memory>

namespace kavelora::tests {

using namespace decoder::heif;

namespace {

constexpr QSize kSide(48, 32);

// Builds the plan beside the file, each coded picture's data appended to the plan's bytes.
class PlanBuilder
{
public:
    int add(ImageNode node)
    {
        m_fixture.plan.nodes.push_back(std::move(node));
        return static_cast<int>(m_fixture.plan.nodes.size()) - 1;
    }

    int coded(const HeifItem& item, std::vector<ImageTransform> transforms = {})
    {
        // The hvcC box comes first, ispe second; the box header is eight bytes.
        const QByteArray configuration = item.properties.at(0).box.mid(8);
        const QByteArray ispe = item.properties.at(1).box;
        const QSize size(qFromBigEndian<qint32>(ispe.constData() + 12),
                         qFromBigEndian<qint32>(ispe.constData() + 16));
        CodedImage image{configuration, {FileExtent{m_fixture.data.size(), item.data.size()}}};
        m_fixture.data += item.data;
        return add({image, size, std::move(transforms)});
    }

    HeifPlanFixture finish(const HeifFile& file, int primary, QImage source = {})
    {
        m_fixture.heif = writeHeif(file);
        m_fixture.plan.primary = primary;
        m_fixture.source = std::move(source);
        return std::move(m_fixture);
    }

    ImagePlan& plan() { return m_fixture.plan; }

private:
    HeifPlanFixture m_fixture;
};

// Colour said in the file as the encoder codes it, so that libheif need not guess.
void describeColour(HeifFile& file, PlanBuilder& builder, const HevcOptions& options)
{
    for (HeifItem& item : file.items)
        item.properties.push_back(
            heif_property::colrNclx(1, 13, options.matrixCoefficients, options.fullRange));
    builder.plan().coding.matrixCoefficients = options.matrixCoefficients;
    builder.plan().coding.fullRange = options.fullRange;
    builder.plan().coding.fromColourProperty = true;
}

HeifPlanFixture single(const HevcOptions& options, std::vector<HeifProperty> transforms = {},
                       std::vector<ImageTransform> planned = {}, bool colourStated = true)
{
    const QImage source = heifSourcePicture(kSide);
    HeifFile file;
    file.items.push_back(codedItem(1, encodeHevc(source, options), std::move(transforms)));
    PlanBuilder builder;
    if (colourStated)
        describeColour(file, builder, options);
    const int primary = builder.coded(file.items[0], std::move(planned));
    return builder.finish(file, primary, options.lossless ? source : QImage());
}

HeifPlanFixture grid(QSize pictureSize, QSize tileSize)
{
    const QImage source = heifSourcePicture(pictureSize);
    HeifFile file = gridOfTiles(source, tileSize);
    PlanBuilder builder;
    describeColour(file, builder, HevcOptions{});
    GridImage layout{(pictureSize.height() + tileSize.height() - 1) / tileSize.height(),
                     (pictureSize.width() + tileSize.width() - 1) / tileSize.width(),
                     pictureSize,
                     {}};
    for (std::size_t item = 1; item < file.items.size(); ++item)
        layout.tiles.push_back(builder.coded(file.items[item]));
    const int primary = builder.add({layout, pictureSize, {}});
    return builder.finish(file, primary);
}

HeifPlanFixture withAlpha()
{
    const QImage source = heifSourcePicture(kSide);
    QImage alphaSource = source;
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            alphaSource.setPixel(x, y, qRgba(0, 0, 0, 255 * x / source.width()));
    HevcOptions alphaOptions;
    alphaOptions.chroma = HevcChroma::Monochrome;
    alphaOptions.alphaAsLuma = true;
    alphaOptions.fullRange = true;
    HeifFile file;
    file.items.push_back(codedItem(1, encodeHevc(source)));
    HeifItem alpha =
        codedItem(2, encodeHevc(alphaSource, alphaOptions), {heif_property::auxC(kAlphaUrn)});
    alpha.hidden = true;
    file.items.push_back(alpha);
    file.references.push_back({"auxl", 2, {1}});
    PlanBuilder builder;
    describeColour(file, builder, HevcOptions{});
    const int primary = builder.coded(file.items[0]);
    builder.plan().alpha = builder.coded(file.items[1]);
    return builder.finish(file, primary);
}

HeifPlanFixture overlay()
{
    HeifFile file;
    const QSize canvas(64, 40);
    const std::array<quint16, 4> fill{0xffff, 0x8000, 0, 0xffff};
    HeifItem iovl = heifItem(1, "iovl", overlayData(fill, canvas, {{4, 2}, {40, 30}}));
    iovl.inIdat = true;
    iovl.properties = {heif_property::ispe(canvas)};
    file.items.push_back(iovl);
    file.items.push_back(codedItem(2, encodeHevc(heifSourcePicture(QSize(32, 24)))));
    file.items.push_back(codedItem(3, encodeHevc(heifSourcePicture(QSize(24, 16)))));
    file.items[1].hidden = file.items[2].hidden = true;
    file.references.push_back({"dimg", 1, {2, 3}});
    PlanBuilder builder;
    describeColour(file, builder, HevcOptions{});
    OverlayImage layers{fill, canvas, {}};
    layers.layers.push_back({builder.coded(file.items[1]), QPoint(4, 2)});
    layers.layers.push_back({builder.coded(file.items[2]), QPoint(40, 30)});
    const int primary = builder.add({layers, canvas, {}});
    return builder.finish(file, primary);
}

// Grey coded losslessly in limited range, the grey of the BT.601 weights.
HeifPlanFixture monochrome()
{
    HevcOptions options;
    options.chroma = HevcChroma::Monochrome;
    options.lossless = true;
    HeifPlanFixture fixture = single(options);
    QImage grey = heifSourcePicture(kSide).convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < grey.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(grey.scanLine(y));
        for (int x = 0; x < grey.width(); ++x) {
            const int level =
                qRound(0.299 * qRed(row[x]) + 0.587 * qGreen(row[x]) + 0.114 * qBlue(row[x]));
            row[x] = qRgb(level, level, level);
        }
    }
    fixture.source = grey;
    fixture.libheifFault = QStringLiteral("shows limited-range grey unexpanded");
    return fixture;
}

HevcOptions optionsWith(int bitDepth, HevcChroma chroma, bool lossless = false,
                        bool wavefront = false)
{
    HevcOptions options;
    options.bitDepth = bitDepth;
    options.chroma = chroma;
    options.lossless = lossless;
    options.wavefront = wavefront;
    if (lossless) {
        // RGB kept as it stands: the identity matrix, full range.
        options.matrixCoefficients = 0;
        options.fullRange = true;
    }
    return options;
}

} // namespace

QStringList heifPlanStructures()
{
    return {QStringLiteral("single 8-bit"),
            QStringLiteral("single 10-bit"),
            QStringLiteral("coding from the stream"),
            QStringLiteral("lossless 4:4:4"),
            QStringLiteral("monochrome"),
            QStringLiteral("wavefront rows"),
            QStringLiteral("grid with odd edge tiles"),
            QStringLiteral("quarter turn and mirror"),
            QStringLiteral("clean aperture"),
            QStringLiteral("alpha"),
            QStringLiteral("overlay")};
}

HeifPlanFixture heifPlanFixture(const QString& structure)
{
    using Kind = ImageTransform::Kind;
    if (structure == u"single 8-bit")
        return single(HevcOptions{});
    if (structure == u"coding from the stream") {
        // No nclx property: the stream's own full range and BT.709 matrix apply.
        HevcOptions options;
        options.fullRange = true;
        options.matrixCoefficients = 1;
        return single(options, {}, {}, false);
    }
    if (structure == u"single 10-bit")
        return single(optionsWith(10, HevcChroma::Yuv420));
    if (structure == u"lossless 4:4:4")
        return single(optionsWith(8, HevcChroma::Yuv444, true));
    if (structure == u"monochrome")
        return monochrome();
    if (structure == u"wavefront rows")
        return single(optionsWith(8, HevcChroma::Yuv420, false, true));
    if (structure == u"grid with odd edge tiles")
        return grid(QSize(100, 70), QSize(32, 32));
    if (structure == u"quarter turn and mirror")
        // imir axis 0 swaps top and bottom, as libheif 1.15 shows it.
        return single(HevcOptions{}, {heif_property::irot(1), heif_property::imir(0)},
                      {{Kind::Rotation, {}, 1, false}, {Kind::Mirror, {}, 0, false}});
    if (structure == u"clean aperture")
        // 30 x 20 about the centre moved 4 right and 2 down: columns 13 to 42, rows 8 to 27.
        return single(HevcOptions{}, {heif_property::clap({30, 1}, {20, 1}, {4, 1}, {2, 1})},
                      {{Kind::Crop, QRect(13, 8, 30, 20), 0, false}});
    if (structure == u"alpha")
        return withAlpha();
    return overlay();
}

QImage libheifPicture(const QByteArray& heif)
{
    struct Deleter
    {
        void operator()(heif_context* context) const { heif_context_free(context); }
        void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
        void operator()(heif_image* image) const { heif_image_release(image); }
    };
    const std::unique_ptr<heif_context, Deleter> context(heif_context_alloc());
    if (heif_context_read_from_memory_without_copy(context.get(), heif.constData(),
                                                   static_cast<size_t>(heif.size()), nullptr)
            .code != heif_error_Ok)
        return {};
    heif_image_handle* primary = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &primary).code != heif_error_Ok)
        return {};
    const std::unique_ptr<heif_image_handle, Deleter> handle(primary);
    heif_image* decoded = nullptr;
    if (heif_decode_image(primary, &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGBA,
                          nullptr)
            .code != heif_error_Ok)
        return {};
    const std::unique_ptr<heif_image, Deleter> image(decoded);
    int stride = 0;
    const uint8_t* samples =
        heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    QImage picture(heif_image_get_width(decoded, heif_channel_interleaved),
                   heif_image_get_height(decoded, heif_channel_interleaved), QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y) {
        const uint8_t* in = samples + qsizetype{y} * stride;
        auto* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x, in += 4)
            out[x] = qRgba(in[0], in[1], in[2], in[3]);
    }
    return picture;
}

QImage reducedByArea(const QImage& picture, int factor)
{
    QImage target(decoder::reducedSize(picture.size(), factor), picture.format());
    decoder::AreaReducer reducer(target, picture.height(), factor);
    for (int y = 0; y < picture.height(); ++y)
        reducer.addRow(reinterpret_cast<const QRgb*>(picture.constScanLine(y)), picture.width());
    return target;
}

} // namespace kavelora::tests
