// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/formats/heif/heif_image_plan.h"
#include "decoder/formats/heif/heif_items.h"

#include <vector>

// The colour of a HEIF's primary picture, from its items' properties.
namespace kavelora::decoder::heif {

// Fills plan.colour and plan.coding from the colr (nclx and ICC), pixi, clli and mdcv of the
// primary picture's item, or of the first coded item it is made from where it has none. Throws
// InvalidPicture for a broken one. itemOfNode gives the item of each of plan.nodes.
void describeColour(const QByteArray& file, const MetaItems& meta, ImagePlan& plan,
                    const std::vector<quint32>& itemOfNode);

// Fills plan.colour and plan.coding from the colour boxes among boxes (a sequence's sample
// entry's), the first of each kind counting. Throws InvalidPicture for a broken one.
void describeColour(const QByteArray& file, const std::vector<Box>& boxes, ImagePlan& plan);

} // namespace kavelora::decoder::heif
