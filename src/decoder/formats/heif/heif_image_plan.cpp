// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/heif/heif_image_plan.h"

#include "decoder/formats/heif/heif_boxes.h"
#include "decoder/formats/heif/heif_image_colour.h"
#include "decoder/formats/heif/heif_items.h"
#include "decoder/formats/heif/heif_node_builder.h"
#include "decoder/formats/heif/heif_sequence.h"

namespace kavelora::decoder::heif {
namespace {

bool isAlphaUrn(const QByteArray& urn)
{
    return urn == "urn:mpeg:mpegB:cicp:systems:auxiliary:alpha" ||
           urn == "urn:mpeg:hevc:2015:auxid:1";
}

// The first item whose auxl reference names the primary picture and whose auxC says alpha.
// Thumbnails, depth, gain maps and every other auxiliary picture are passed over.
std::optional<quint32> alphaItem(const QByteArray& file, const MetaItems& meta, quint32 primary)
{
    for (const ItemReference& reference : meta.references) {
        if (reference.type != "auxl" ||
            std::find(reference.to.begin(), reference.to.end(), primary) == reference.to.end())
            continue;
        const auto item = meta.items.find(reference.from);
        if (item == meta.items.end())
            continue;
        for (const ItemProperty& property : item->properties) {
            const Box& box = meta.properties[static_cast<size_t>(property.index)];
            if (box.type != "auxC")
                continue;
            Fields fields(file, box);
            fields.takeVersion();
            if (isAlphaUrn(fields.takeString()))
                return reference.from;
        }
    }
    return std::nullopt;
}

ImagePlan planFromMeta(const QByteArray& file, const MetaItems& meta)
{
    refuseUnless(meta.primary.has_value() && meta.items.contains(*meta.primary));
    ImagePlan plan;
    NodeBuilder builder(file, meta, plan.nodes);
    plan.primary = builder.build(*meta.primary);
    const QSize shown = displayedSize(plan.nodes[static_cast<size_t>(plan.primary)]);
    checkPictureSize(shown);
    if (const std::optional<quint32> alpha = alphaItem(file, meta, *meta.primary)) {
        const int node = builder.build(*alpha);
        // An alpha plane of another size than the picture's is not its alpha.
        if (displayedSize(plan.nodes[static_cast<size_t>(node)]) == shown)
            plan.alpha = node;
    }
    describeColour(file, meta, plan, builder.itemOfNode());
    return plan;
}

ImagePlan planFromSequence(const QByteArray& file, const Box& moov)
{
    const SequenceImage image = firstSequenceImage(file, moov);
    checkPictureSize(image.size);
    ImagePlan plan;
    ImageNode node;
    node.content = CodedImage{image.configuration, {image.firstSample}};
    node.size = image.size;
    plan.nodes.push_back(std::move(node));
    describeColour(file, image.entryBoxes, plan);
    return plan;
}

} // namespace

ImagePlan planPrimaryImage(const QByteArray& file)
{
    bool overran = false;
    const std::vector<Box> top = boxesIn(file, 0, file.size(), &overran);
    refuseUnless(!overran);
    const Box* meta = findBox(top, "meta");
    const Box* moov = findBox(top, "moov");
    if (meta) {
        const MetaItems items = readMetaItems(file, *meta);
        if (items.primary || !moov)
            return planFromMeta(file, items);
    }
    refuseUnless(moov != nullptr);
    return planFromSequence(file, *moov);
}

} // namespace kavelora::decoder::heif
