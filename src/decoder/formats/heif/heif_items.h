// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/formats/heif/heif_boxes.h"
#include "decoder/formats/heif/heif_image_plan.h"

#include <QByteArray>
#include <QHash>

#include <optional>
#include <vector>

// The items of a HEIF's meta box, their data, references and properties.
namespace kavelora::decoder::heif {

// The most items, references and properties a file may have; more is no photo.
inline constexpr int kMaxItems = 65535;
inline constexpr int kMaxExtentsPerItem = 1024;

struct ItemProperty
{
    // Index into MetaItems::properties.
    int index = 0;
    bool essential = false;
};

struct Item
{
    quint32 id = 0;
    QByteArray type;
    bool hidden = false;
    // From iloc: 0 the file, 1 idat; extents' offsets already include the base offset.
    int constructionMethod = 0;
    std::vector<FileExtent> extents;
    std::vector<ItemProperty> properties;
};

struct ItemReference
{
    QByteArray type;
    quint32 from = 0;
    std::vector<quint32> to;
};

struct MetaItems
{
    std::optional<quint32> primary;
    QHash<quint32, Item> items;
    std::vector<ItemReference> references;
    // Indices into references, by the item they are from.
    QHash<quint32, std::vector<int>> referencesFrom;
    // The boxes of ipco, in order.
    std::vector<Box> properties;
    std::optional<Box> idat;
};

// The items of meta, read from its hdlr ('pict'), pitm, iinf, iloc, iref, iprp and idat.
// Throws platform::RuntimeError(InvalidPicture) when any of them is broken or overruns.
MetaItems readMetaItems(const QByteArray& file, const Box& meta);

// Where item's data lies in file, each extent checked to lie within the file or within idat.
// Throws InvalidPicture when it does not, or the data is stored some other way.
std::vector<FileExtent> itemData(const QByteArray& file, const MetaItems& meta, const Item& item);

// The items referred to from item by references of type, in order.
std::vector<quint32> referencesFrom(const MetaItems& meta, quint32 item, const char* type);

} // namespace kavelora::decoder::heif
