// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/heif/heif_node_builder.h"

#include "decoder/formats/heif/heif_boxes.h"
#include "decoder/formats/heif/heif_transforms.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <climits>

namespace kavelora::decoder::heif {
namespace {

using platform::ErrorNumber;
using platform::RuntimeError;

// A grid's or overlay's description is a few dozen bytes; more is not read.
constexpr qint64 kMaxDescriptionBytes = 4096;
// An HEVC decoder configuration record's fixed fields, before its arrays of parameter sets.
constexpr qsizetype kMinConfigurationBytes = 23;

// A side as a derivation declares it, which may be past INT_MAX.
int declaredSide(quint64 pixels)
{
    if (pixels > static_cast<quint64>(protocol::kMaxCodecSidePixels))
        throw RuntimeError(ErrorNumber::OutOfMemory);
    return static_cast<int>(pixels);
}

} // namespace

QSize displayedSize(const ImageNode& node)
{
    QSize size = node.size;
    for (const ImageTransform& transform : node.transforms) {
        if (transform.kind == ImageTransform::Kind::Crop)
            size = transform.kept.size();
        else if (transform.kind == ImageTransform::Kind::Rotation && transform.quarterTurns % 2)
            size.transpose();
    }
    return size;
}

void checkPictureSize(QSize size)
{
    refuseUnless(size.width() > 0 && size.height() > 0);
    if (size.width() > protocol::kMaxCodecSidePixels ||
        size.height() > protocol::kMaxCodecSidePixels ||
        qint64{size.width()} * size.height() > protocol::kMaxPicturePixels)
        throw RuntimeError(ErrorNumber::OutOfMemory);
}

NodeBuilder::NodeBuilder(const QByteArray& file, const MetaItems& meta,
                         std::vector<ImageNode>& nodes)
    : m_file(file)
    , m_meta(meta)
    , m_nodes(nodes)
{}

int NodeBuilder::build(quint32 item)
{
    return build(item, 0);
}

int NodeBuilder::build(quint32 itemId, int depth)
{
    if (const auto built = m_built.find(itemId); built != m_built.end())
        return *built;
    const auto item = m_meta.items.find(itemId);
    refuseUnless(item != m_meta.items.end() && depth <= kMaxDerivationDepth);
    // An item met again before its picture is made refers to itself through others.
    refuseUnless(!m_inProgress.contains(itemId));
    m_inProgress.insert(itemId);
    ImageNode node;
    if (item->type == "hvc1")
        node = coded(*item);
    else if (item->type == "grid")
        node = grid(*item, depth);
    else if (item->type == "iovl")
        node = overlay(*item, depth);
    else if (item->type == "iden")
        node = identity(*item, depth);
    else
        refuseUnless(false);
    addTransforms(*item, node);
    checkPictureSize(displayedSize(node));
    m_inProgress.remove(itemId);
    m_nodes.push_back(std::move(node));
    m_itemOfNode.push_back(itemId);
    const int index = static_cast<int>(m_nodes.size() - 1);
    m_built.insert(itemId, index);
    return index;
}

QSize NodeBuilder::codedSize(const Item& item) const
{
    for (const ItemProperty& property : item.properties) {
        const Box& box = m_meta.properties[static_cast<size_t>(property.index)];
        if (box.type != "ispe")
            continue;
        Fields fields(m_file, box);
        fields.takeVersion();
        const quint64 width = fields.take(4);
        const quint64 height = fields.take(4);
        refuseUnless(!fields.failed());
        return QSize(declaredSide(width), declaredSide(height));
    }
    refuseUnless(false);
    return {};
}

ImageNode NodeBuilder::coded(const Item& item)
{
    CodedImage image;
    bool configured = false;
    for (const ItemProperty& property : item.properties) {
        const Box& box = m_meta.properties[static_cast<size_t>(property.index)];
        if (box.type == "hvcC" && !configured) {
            image.configuration = m_file.mid(box.body, box.end - box.body);
            configured = true;
        }
    }
    refuseUnless(configured && image.configuration.size() >= kMinConfigurationBytes);
    image.data = itemData(m_file, m_meta, item);
    ImageNode node;
    node.size = codedSize(item);
    checkPictureSize(node.size);
    node.content = std::move(image);
    return node;
}

QByteArray NodeBuilder::smallData(const Item& item) const
{
    QByteArray data;
    for (const FileExtent& extent : itemData(m_file, m_meta, item)) {
        refuseUnless(data.size() + extent.length <= kMaxDescriptionBytes);
        data += m_file.mid(extent.offset, extent.length);
    }
    return data;
}

ImageNode NodeBuilder::grid(const Item& item, int depth)
{
    const QByteArray data = smallData(item);
    Fields fields(data, 0, data.size());
    refuseUnless(fields.take(1) == 0);
    const qsizetype sideBytes = (fields.take(1) & 1) ? 4 : 2;
    GridImage grid;
    grid.rows = static_cast<int>(fields.take(1)) + 1;
    grid.columns = static_cast<int>(fields.take(1)) + 1;
    const quint64 width = fields.take(sideBytes);
    const quint64 height = fields.take(sideBytes);
    refuseUnless(!fields.failed());
    // The cap first, so that a grid too large costs nothing more.
    grid.outputSize = QSize(declaredSide(width), declaredSide(height));
    checkPictureSize(grid.outputSize);
    const std::vector<quint32> tiles = referencesFrom(m_meta, item.id, "dimg");
    refuseUnless(tiles.size() == static_cast<size_t>(grid.rows * grid.columns));
    QSize tileSize;
    for (const quint32 tile : tiles) {
        const int node = build(tile, depth + 1);
        const QSize size = displayedSize(m_nodes[static_cast<size_t>(node)]);
        refuseUnless(tileSize.isEmpty() || size == tileSize);
        tileSize = size;
        grid.tiles.push_back(node);
    }
    refuseUnless(qint64{tileSize.width()} * grid.columns >= grid.outputSize.width() &&
                 qint64{tileSize.height()} * grid.rows >= grid.outputSize.height());
    ImageNode node;
    node.size = grid.outputSize;
    node.content = std::move(grid);
    return node;
}

ImageNode NodeBuilder::overlay(const Item& item, int depth)
{
    const QByteArray data = smallData(item);
    Fields fields(data, 0, data.size());
    refuseUnless(fields.take(1) == 0);
    const qsizetype fieldBytes = (fields.take(1) & 1) ? 4 : 2;
    OverlayImage overlay;
    for (quint16& channel : overlay.canvasFill)
        channel = static_cast<quint16>(fields.take(2));
    const quint64 width = fields.take(fieldBytes);
    const quint64 height = fields.take(fieldBytes);
    refuseUnless(!fields.failed());
    overlay.outputSize = QSize(declaredSide(width), declaredSide(height));
    checkPictureSize(overlay.outputSize);
    const int signBit = fieldBytes == 4 ? 31 : 15;
    const auto signedField = [&] {
        const quint64 value = fields.take(fieldBytes);
        const bool negative = (value >> signBit) & 1;
        return static_cast<qint64>(value) - (negative ? qint64{1} << (signBit + 1) : 0);
    };
    for (const quint32 layer : referencesFrom(m_meta, item.id, "dimg")) {
        const qint64 x = signedField();
        const qint64 y = signedField();
        refuseUnless(!fields.failed() && x >= INT_MIN / 2 && x <= INT_MAX / 2 && y >= INT_MIN / 2 &&
                     y <= INT_MAX / 2);
        const int node = build(layer, depth + 1);
        overlay.layers.push_back({node, QPoint(static_cast<int>(x), static_cast<int>(y))});
    }
    ImageNode node;
    node.size = overlay.outputSize;
    node.content = std::move(overlay);
    return node;
}

ImageNode NodeBuilder::identity(const Item& item, int depth)
{
    const std::vector<quint32> source = referencesFrom(m_meta, item.id, "dimg");
    refuseUnless(source.size() == 1);
    const int child = build(source.front(), depth + 1);
    ImageNode node;
    node.size = displayedSize(m_nodes[static_cast<size_t>(child)]);
    node.content = IdentityImage{child};
    return node;
}

void NodeBuilder::addTransforms(const Item& item, ImageNode& node) const
{
    QSize size = node.size;
    for (const ItemProperty& property : item.properties) {
        const Box& box = m_meta.properties[static_cast<size_t>(property.index)];
        const std::optional<ImageTransform> transform = transformOf(m_file, box, size);
        if (transform) {
            node.transforms.push_back(*transform);
            size = displayedSize({{}, size, {*transform}});
        } else {
            refuseUnless(!property.essential || isKnownProperty(box.type));
        }
    }
}

} // namespace kavelora::decoder::heif
