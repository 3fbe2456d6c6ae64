// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// libFuzzer target on the HEIF container alone: the boxes, items, references and properties
// planPrimaryImage reads. Besides crashes and sanitizer reports, a plan whose data lies outside
// the file, or whose nodes refer past the plan, is a finding.

#include "decoder/formats/heif/heif_image_plan.h"
#include "platform/runtime_error.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using namespace kavelora::decoder::heif;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

void checkPlan(const ImagePlan& plan, qint64 fileSize)
{
    const auto nodeCount = static_cast<int>(plan.nodes.size());
    const auto isNode = [nodeCount](int node) { return node >= 0 && node < nodeCount; };
    require(isNode(plan.primary) && (!plan.alpha || isNode(*plan.alpha)));
    for (const ImageNode& node : plan.nodes) {
        require(node.size.width() > 0 && node.size.height() > 0);
        if (const auto* coded = std::get_if<CodedImage>(&node.content)) {
            for (const FileExtent& extent : coded->data)
                require(extent.offset >= 0 && extent.length > 0 &&
                        extent.length <= fileSize - extent.offset);
        } else if (const auto* grid = std::get_if<GridImage>(&node.content)) {
            require(static_cast<int>(grid->tiles.size()) == grid->rows * grid->columns);
            for (const int tile : grid->tiles)
                require(isNode(tile));
        } else if (const auto* overlay = std::get_if<OverlayImage>(&node.content)) {
            for (const auto& layer : overlay->layers)
                require(isNode(layer.node));
        } else {
            require(isNode(std::get<IdentityImage>(node.content).node));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray file(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        checkPlan(planPrimaryImage(file), file.size());
    } catch (const kavelora::platform::RuntimeError&) {
        // Refusing a broken file is the expected answer to most inputs.
    }
    return 0;
}
