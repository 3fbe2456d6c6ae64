// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/heif/heif_image_colour.h"

#include "decoder/formats/heif/heif_boxes.h"

#include <QSet>

namespace kavelora::decoder::heif {
namespace {

// mdcv gives luminances in units of 0.0001 cd/m².
constexpr float kMasteringLuminanceUnitsPerNit = 10000.0F;

// The items from the primary picture's down to its first coded one, following the first tile,
// layer or source of each derivation.
std::vector<const Item*> itemsDownward(const MetaItems& meta, const ImagePlan& plan,
                                       const std::vector<quint32>& itemOfNode)
{
    std::vector<const Item*> items;
    int node = plan.primary;
    for (int step = 0; step < static_cast<int>(plan.nodes.size()); ++step) {
        items.push_back(&*meta.items.find(itemOfNode[static_cast<size_t>(node)]));
        const auto& content = plan.nodes[static_cast<size_t>(node)].content;
        if (const auto* grid = std::get_if<GridImage>(&content))
            node = grid->tiles.front();
        else if (const auto* overlay = std::get_if<OverlayImage>(&content);
                 overlay && !overlay->layers.empty())
            node = overlay->layers.front().node;
        else if (const auto* identity = std::get_if<IdentityImage>(&content))
            node = identity->node;
        else
            break;
    }
    return items;
}

void describe(const QByteArray& file, const Box& box, ImagePlan& plan, QSet<QByteArray>& seen)
{
    Fields fields(file, box);
    QByteArray kind = box.type;
    if (box.type == "colr") {
        const QByteArray colourType = fields.takeType();
        // nclx and an ICC profile may both be given; each counts once.
        kind = colourType == "nclx" ? "nclx" : "icc";
        if (seen.contains(kind))
            return;
        if (colourType == "nclx") {
            plan.colour.primaries = static_cast<int>(fields.take(2));
            plan.colour.transfer = static_cast<int>(fields.take(2));
            plan.coding.matrixCoefficients = static_cast<int>(fields.take(2));
            plan.coding.fullRange = (fields.take(1) & 0x80) != 0;
            plan.coding.fromColourProperty = true;
        } else if (colourType == "prof" || colourType == "rICC") {
            plan.colour.iccProfile = file.mid(fields.position(), fields.remaining());
        } else {
            return;
        }
    } else if (seen.contains(kind)) {
        return;
    } else if (box.type == "pixi") {
        fields.takeVersion();
        const quint64 channels = fields.take(1);
        const quint64 bits = fields.take(1);
        refuseUnless(channels > 0 && bits >= 1 && bits <= 16);
        plan.coding.bitDepth = static_cast<int>(bits);
    } else if (box.type == "clli") {
        plan.colour.maxContentLight = static_cast<float>(fields.take(2));
    } else if (box.type == "mdcv") {
        // Three primaries and the white point, two 16-bit coordinates each, come first.
        fields.take(8);
        fields.take(8);
        plan.colour.masteringPeak =
            static_cast<float>(fields.take(4)) / kMasteringLuminanceUnitsPerNit;
    } else {
        return;
    }
    refuseUnless(!fields.failed());
    seen.insert(kind);
}

} // namespace

void describeColour(const QByteArray& file, const MetaItems& meta, ImagePlan& plan,
                    const std::vector<quint32>& itemOfNode)
{
    QSet<QByteArray> seen;
    for (const Item* item : itemsDownward(meta, plan, itemOfNode))
        for (const ItemProperty& property : item->properties)
            describe(file, meta.properties[static_cast<size_t>(property.index)], plan, seen);
}

void describeColour(const QByteArray& file, const std::vector<Box>& boxes, ImagePlan& plan)
{
    QSet<QByteArray> seen;
    for (const Box& box : boxes)
        describe(file, box, plan, seen);
}

} // namespace kavelora::decoder::heif
