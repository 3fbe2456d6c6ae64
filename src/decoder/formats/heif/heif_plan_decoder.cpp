// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/heif/heif_plan_decoder.h"

#include "decoder/common/area_reducer.h"
#include "decoder/formats/heif/heif_base_rows.h"
#include "decoder/formats/heif/heif_boxes.h"
#include "decoder/formats/heif/heif_orientation.h"
#include "decoder/formats/heif/hevc_decoder.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <QPainter>

#include <cstring>
#include <memory>

namespace kavelora::decoder::heif {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

// Derived images referencing derived images; the plan has no loops, this bounds the work.
constexpr int kMaxNesting = 8;

const ImageNode& nodeAt(const ImagePlan& plan, int index, int depth)
{
    if (depth > kMaxNesting || index < 0 || static_cast<std::size_t>(index) >= plan.nodes.size())
        refuse();
    return plan.nodes[static_cast<std::size_t>(index)];
}

ComposedTransforms transformsOf(const ImagePlan& plan, int index, int depth);

// The node's picture before its own transforms.
QSize baseSizeOf(const ImagePlan& plan, int index, int depth)
{
    const ImageNode& node = nodeAt(plan, index, depth);
    if (const auto* grid = std::get_if<GridImage>(&node.content))
        return grid->outputSize;
    if (const auto* overlay = std::get_if<OverlayImage>(&node.content))
        return overlay->outputSize;
    if (const auto* identity = std::get_if<IdentityImage>(&node.content))
        return transformsOf(plan, identity->node, depth + 1).orientedSize();
    return node.size;
}

ComposedTransforms transformsOf(const ImagePlan& plan, int index, int depth)
{
    const QSize base = baseSizeOf(plan, index, depth);
    if (base.isEmpty() || base.width() > protocol::kMaxCodecSidePixels ||
        base.height() > protocol::kMaxCodecSidePixels)
        refuse();
    return composeTransforms(base, nodeAt(plan, index, depth).transforms);
}

// The bits of the primary picture's first coded image, which its samples are converted at.
int codedBitsOf(const ImagePlan& plan, int index, int depth)
{
    const ImageNode& node = nodeAt(plan, index, depth);
    if (const auto* coded = std::get_if<CodedImage>(&node.content))
        return parseHevcConfiguration(coded->configuration).lumaBits;
    if (const auto* grid = std::get_if<GridImage>(&node.content))
        return grid->tiles.empty() ? 8 : codedBitsOf(plan, grid->tiles.front(), depth + 1);
    if (const auto* overlay = std::get_if<OverlayImage>(&node.content))
        return overlay->layers.empty() ? 8
                                       : codedBitsOf(plan, overlay->layers.front().node, depth + 1);
    return codedBitsOf(plan, std::get<IdentityImage>(node.content).node, depth + 1);
}

bool turnsOrMirrors(const QTransform& orientation)
{
    return orientation.m11() != 1 || orientation.m22() != 1;
}

QImage allocated(QSize size, QImage::Format format, const PixelAllocator& allocate)
{
    if (size.isEmpty() || qint64{size.width()} * size.height() > protocol::kMaxPicturePixels)
        throw RuntimeError(ErrorNumber::OutOfMemory);
    QImage image = allocate(size, format);
    if (image.isNull())
        throw RuntimeError(ErrorNumber::OutOfMemory);
    return image;
}

// Decodes the nodes of one plan at one reduction factor.
class PlanPictures
{
public:
    PlanPictures(const QByteArray& file, const ImagePlan& plan, int factor)
        : m_file(file)
        , m_plan(plan)
        , m_factor(factor)
    {
        const int bits = plan.coding.bitDepth.value_or(codedBitsOf(plan, plan.primary, 0));
        if (plan.coding.fromColourProperty)
            m_colour.coding = YCbCrCoding{plan.coding.matrixCoefficients, plan.coding.fullRange};
        m_colour.bitsPerSample = bits > 8 ? 16 : 8;
        if (bits > 8 || !isSrgb(plan.colour)) {
            m_srgb = std::make_unique<SrgbRows>(plan.colour, 3, m_colour.bitsPerSample);
            m_colour.srgb = m_srgb.get();
        }
    }

    // The node's picture after its transforms, reduced, in pixels from allocate.
    QImage picture(int index, QImage::Format format, const PixelAllocator& allocate,
                   int depth) const
    {
        const ImageNode& node = nodeAt(m_plan, index, depth);
        const ComposedTransforms composed = transformsOf(m_plan, index, depth);
        if (std::holds_alternative<CodedImage>(node.content) ||
            std::holds_alternative<GridImage>(node.content)) {
            const bool oriented = turnsOrMirrors(composed.orientation);
            const QImage reduced = streamed(node, composed.crop, format, m_colour,
                                            oriented ? PixelAllocator(plainPixels) : allocate);
            return orientedCopy(reduced, composed.orientation, allocate);
        }
        QImage base;
        if (const auto* overlay = std::get_if<OverlayImage>(&node.content))
            base = overlaid(*overlay, depth);
        else
            base =
                picture(std::get<IdentityImage>(node.content).node, format, plainPixels, depth + 1);
        // Derived pictures are reduced whole; their crop is taken from the reduced copy.
        const QRect kept =
            QRect(composed.crop.topLeft() / m_factor, reducedSize(composed.crop.size(), m_factor))
                .intersected(base.rect());
        if (kept.isEmpty())
            refuse();
        if (kept != base.rect())
            base = base.copy(kept);
        base = base.convertToFormat(format);
        if (turnsOrMirrors(composed.orientation))
            return orientedCopy(base, composed.orientation, allocate);
        QImage target = allocated(base.size(), format, allocate);
        for (int y = 0; y < base.height(); ++y)
            std::memcpy(target.scanLine(y), base.constScanLine(y),
                        static_cast<std::size_t>(base.bytesPerLine()));
        return target;
    }

    // Sets the alpha of picture, made by the transforms composed, from the luma of node index.
    void applyAlpha(QImage& picture, int index, const ComposedTransforms& composed) const
    {
        const ImageNode& node = nodeAt(m_plan, index, 0);
        RowConversion gray = m_colour;
        gray.gray = true;
        const QImage alpha = orientedCopy(
            streamed(node, composed.crop, QImage::Format_Grayscale8, gray, plainPixels),
            composed.orientation, plainPixels);
        if (alpha.size() != picture.size())
            refuse();
        // Colour was averaged unweighted by alpha: the reducer never saw the alpha.
        for (int y = 0; y < picture.height(); ++y) {
            auto* words = reinterpret_cast<QRgb*>(picture.scanLine(y));
            const uchar* opacity = alpha.constScanLine(y);
            for (int x = 0; x < picture.width(); ++x)
                words[x] = (words[x] & 0x00FFFFFFu) | (QRgb{opacity[x]} << 24);
        }
    }

private:
    QImage streamed(const ImageNode& node, QRect crop, QImage::Format format,
                    const RowConversion& conversion, const PixelAllocator& allocate) const
    {
        QImage target = allocated(reducedSize(crop.size(), m_factor), format, allocate);
        int y = 0;
        if (m_factor == 1) {
            const auto rowBytes = static_cast<std::size_t>(crop.width()) *
                                  static_cast<std::size_t>(target.depth() / 8);
            decodeBaseRows(m_file, m_plan, node, crop, conversion, [&](const uchar* row) {
                std::memcpy(target.scanLine(y++), row, rowBytes);
            });
            return target;
        }
        AreaReducer reducer(target, crop.height(), m_factor);
        decodeBaseRows(m_file, m_plan, node, crop, conversion, [&](const uchar* row) {
            if (conversion.gray)
                reducer.addGrayRow(row, crop.width());
            else
                reducer.addRow(reinterpret_cast<const QRgb*>(row), crop.width());
        });
        return target;
    }

    QImage overlaid(const OverlayImage& overlay, int depth) const
    {
        const auto& fill = overlay.canvasFill;
        const QColor colour = QColor::fromRgba64(fill[0], fill[1], fill[2], fill[3]);
        QImage canvas = allocated(reducedSize(overlay.outputSize, m_factor),
                                  QImage::Format_ARGB32_Premultiplied, plainPixels);
        canvas.fill(colour);
        QPainter painter;
        if (!painter.begin(&canvas))
            throw RuntimeError(ErrorNumber::OutOfMemory);
        for (const OverlayImage::Layer& layer : overlay.layers) {
            const QImage picture =
                this->picture(layer.node, QImage::Format_RGB32, plainPixels, depth + 1);
            const QPoint at(floorDivided(layer.offset.x()), floorDivided(layer.offset.y()));
            painter.drawImage(at, picture);
        }
        painter.end();
        return canvas;
    }

    int floorDivided(int value) const
    {
        return value >= 0 ? value / m_factor : -((-value + m_factor - 1) / m_factor);
    }

    const QByteArray& m_file;
    const ImagePlan& m_plan;
    int m_factor;
    RowConversion m_colour;
    std::unique_ptr<SrgbRows> m_srgb;
};

} // namespace

DecodedPicture decodeImagePlan(const QByteArray& file, const ImagePlan& plan,
                               const ReadRequest& request)
{
    const ComposedTransforms composed = transformsOf(plan, plan.primary, 0);
    const QSize ownSize = composed.orientedSize();
    const int factor = areaReductionFactor(ownSize, request.cover);
    const QSize size = reducedSize(ownSize, factor);
    if (size == request.held)
        return {QImage(), ownSize};
    // An alpha plane of another size than the picture's is left out, as if there were none.
    const int alphaNode = plan.alpha.value_or(-1);
    const bool withAlpha =
        alphaNode >= 0 && baseSizeOf(plan, alphaNode, 0) == baseSizeOf(plan, plan.primary, 0);
    const PlanPictures pictures(file, plan, factor);
    QImage image =
        pictures.picture(plan.primary, withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32,
                         request.allocate, 0);
    if (withAlpha)
        pictures.applyAlpha(image, alphaNode, composed);
    return {std::move(image), ownSize};
}

} // namespace kavelora::decoder::heif
