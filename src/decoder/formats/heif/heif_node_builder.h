// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/formats/heif/heif_image_plan.h"
#include "decoder/formats/heif/heif_items.h"

#include <QHash>
#include <QSet>

#include <vector>

// The nodes of an ImagePlan, made from the items of a HEIF's meta.
namespace kavelora::decoder::heif {

// How many derivations deep a picture may be made, a grid of iden tiles counting two.
inline constexpr int kMaxDerivationDepth = 8;

// The size a node shows, after its transforms.
QSize displayedSize(const ImageNode& node);

// Throws OutOfMemory when a picture of size is past the side or pixel caps, InvalidPicture when
// it is empty.
void checkPictureSize(QSize size);

class NodeBuilder
{
public:
    // Adds nodes to nodes, which must outlive the builder as file and meta must.
    NodeBuilder(const QByteArray& file, const MetaItems& meta, std::vector<ImageNode>& nodes);

    // The index in nodes of the picture of item, made once however often it is asked for.
    // Throws InvalidPicture for an item of no picture, a loop of references, a derivation
    // deeper than kMaxDerivationDepth or any broken property or data; OutOfMemory past a cap.
    int build(quint32 item);

    // The item each node was made from, by node index.
    const std::vector<quint32>& itemOfNode() const { return m_itemOfNode; }

private:
    int build(quint32 item, int depth);
    ImageNode coded(const Item& item);
    ImageNode grid(const Item& item, int depth);
    ImageNode overlay(const Item& item, int depth);
    ImageNode identity(const Item& item, int depth);
    void addTransforms(const Item& item, ImageNode& node) const;
    // The item's data, when it is short (a derivation's description).
    QByteArray smallData(const Item& item) const;
    QSize codedSize(const Item& item) const;

    const QByteArray& m_file;
    const MetaItems& m_meta;
    std::vector<ImageNode>& m_nodes;
    std::vector<quint32> m_itemOfNode;
    QHash<quint32, int> m_built;
    QSet<quint32> m_inProgress;
};

} // namespace kavelora::decoder::heif
