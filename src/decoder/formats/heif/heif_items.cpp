// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/heif/heif_items.h"

#include "decoder/formats/heif/heif_boxes.h"

#include <cstdint>

namespace kavelora::decoder::heif {
namespace {

// The child boxes of a box, after skip bytes of its own fields; one overrunning its parent is
// a broken file.
std::vector<Box> children(const QByteArray& file, const Box& parent, qsizetype skip)
{
    bool overran = false;
    std::vector<Box> boxes = boxesIn(file, parent.body + skip, parent.end, &overran);
    refuseUnless(!overran);
    return boxes;
}

void readItemInfo(const QByteArray& file, const Box& iinf, MetaItems& meta)
{
    Fields fields(file, iinf);
    const int version = fields.takeVersion();
    fields.take(version == 0 ? 2 : 4); // the count; the boxes that follow tell it
    refuseUnless(!fields.failed());
    for (const Box& infe : children(file, iinf, fields.position() - iinf.body)) {
        if (infe.type != "infe")
            continue;
        quint32 flags = 0;
        Fields entry(file, infe);
        const int entryVersion = entry.takeVersion(&flags);
        // Versions 0 and 1 name no item type; such items are of no picture.
        if (entryVersion < 2)
            continue;
        Item item;
        item.id = static_cast<quint32>(entry.take(entryVersion == 2 ? 2 : 4));
        entry.take(2); // the protection index
        item.type = entry.takeType();
        item.hidden = (flags & 1) != 0;
        refuseUnless(!entry.failed() && !meta.items.contains(item.id));
        refuseUnless(meta.items.size() < kMaxItems);
        meta.items.insert(item.id, item);
    }
}

void readLocations(const QByteArray& file, const Box& iloc, MetaItems& meta)
{
    Fields fields(file, iloc);
    const int version = fields.takeVersion();
    refuseUnless(version <= 2);
    const quint64 sizes = fields.take(1);
    const quint64 moreSizes = fields.take(1);
    const auto offsetBytes = static_cast<qsizetype>(sizes >> 4);
    const auto lengthBytes = static_cast<qsizetype>(sizes & 15);
    const auto baseBytes = static_cast<qsizetype>(moreSizes >> 4);
    const auto indexBytes = version >= 1 ? static_cast<qsizetype>(moreSizes & 15) : 0;
    for (const qsizetype bytes : {offsetBytes, lengthBytes, baseBytes, indexBytes})
        refuseUnless(bytes == 0 || bytes == 4 || bytes == 8);
    const quint64 count = fields.take(version < 2 ? 2 : 4);
    // Every entry takes six bytes at least, so the count cannot outrun the box for long.
    for (quint64 i = 0; i < count; ++i) {
        const auto id = static_cast<quint32>(fields.take(version < 2 ? 2 : 4));
        const int method = version >= 1 ? static_cast<int>(fields.take(2) & 15) : 0;
        fields.take(2); // the data reference: 0, this file
        const quint64 base = fields.take(baseBytes);
        const quint64 extentCount = fields.take(2);
        refuseUnless(!fields.failed() && extentCount <= kMaxExtentsPerItem);
        // Extents of no bytes all say "from base to the end": more than one is only a cost.
        refuseUnless(indexBytes + offsetBytes + lengthBytes > 0 || extentCount <= 1);
        std::vector<FileExtent> extents;
        for (quint64 extent = 0; extent < extentCount; ++extent) {
            fields.take(indexBytes);
            const quint64 offset = fields.take(offsetBytes);
            const quint64 length = fields.take(lengthBytes);
            // Past the file's size nothing fits; this keeps the sums below from overflowing.
            refuseUnless(!fields.failed() && base <= INT32_MAX * 4ULL &&
                         offset <= INT32_MAX * 4ULL && length <= INT32_MAX * 4ULL);
            extents.push_back({static_cast<qint64>(base + offset), static_cast<qint64>(length)});
        }
        const auto found = meta.items.find(id);
        if (found == meta.items.end())
            continue;
        found->constructionMethod = method;
        found->extents = std::move(extents);
    }
    refuseUnless(!fields.failed());
}

void readReferences(const QByteArray& file, const Box& iref, MetaItems& meta)
{
    Fields header(file, iref);
    const int version = header.takeVersion();
    const qsizetype idBytes = version == 0 ? 2 : 4;
    for (const Box& reference : children(file, iref, 4)) {
        Fields fields(file, reference);
        ItemReference entry{reference.type, static_cast<quint32>(fields.take(idBytes)), {}};
        const quint64 count = fields.take(2);
        for (quint64 i = 0; i < count && !fields.failed(); ++i)
            entry.to.push_back(static_cast<quint32>(fields.take(idBytes)));
        refuseUnless(!fields.failed());
        refuseUnless(meta.references.size() < kMaxItems);
        meta.referencesFrom[entry.from].push_back(static_cast<int>(meta.references.size()));
        meta.references.push_back(std::move(entry));
    }
}

void readProperties(const QByteArray& file, const Box& iprp, MetaItems& meta)
{
    const std::vector<Box> boxes = children(file, iprp, 0);
    const Box* ipco = findBox(boxes, "ipco");
    refuseUnless(ipco != nullptr);
    meta.properties = children(file, *ipco, 0);
    for (const Box& ipma : boxes) {
        if (ipma.type != "ipma")
            continue;
        quint32 flags = 0;
        Fields fields(file, ipma);
        const int version = fields.takeVersion(&flags);
        const quint64 count = fields.take(4);
        for (quint64 i = 0; i < count && !fields.failed(); ++i) {
            const auto id = static_cast<quint32>(fields.take(version < 1 ? 2 : 4));
            const quint64 associations = fields.take(1);
            std::vector<ItemProperty> properties;
            for (quint64 a = 0; a < associations && !fields.failed(); ++a) {
                const bool wide = (flags & 1) != 0;
                const quint64 value = fields.take(wide ? 2 : 1);
                const quint64 essentialBit = wide ? 0x8000 : 0x80;
                const auto index = static_cast<int>(value & (essentialBit - 1));
                // Index 0 is "no property".
                if (index == 0)
                    continue;
                refuseUnless(index <= static_cast<int>(meta.properties.size()));
                properties.push_back({index - 1, (value & essentialBit) != 0});
            }
            const auto found = meta.items.find(id);
            if (found != meta.items.end())
                found->properties = std::move(properties);
        }
        refuseUnless(!fields.failed());
    }
}

} // namespace

MetaItems readMetaItems(const QByteArray& file, const Box& meta)
{
    MetaItems items;
    const std::vector<Box> boxes = children(file, meta, 4);
    const Box* hdlr = findBox(boxes, "hdlr");
    refuseUnless(hdlr != nullptr);
    Fields handler(file, *hdlr);
    handler.takeVersion();
    handler.take(4);
    refuseUnless(handler.takeType() == "pict");
    if (const Box* pitm = findBox(boxes, "pitm")) {
        Fields fields(file, *pitm);
        const int version = fields.takeVersion();
        items.primary = static_cast<quint32>(fields.take(version == 0 ? 2 : 4));
        refuseUnless(!fields.failed());
    }
    if (const Box* iinf = findBox(boxes, "iinf"))
        readItemInfo(file, *iinf, items);
    if (const Box* iloc = findBox(boxes, "iloc"))
        readLocations(file, *iloc, items);
    if (const Box* iref = findBox(boxes, "iref"))
        readReferences(file, *iref, items);
    if (const Box* iprp = findBox(boxes, "iprp"))
        readProperties(file, *iprp, items);
    if (const Box* idat = findBox(boxes, "idat"))
        items.idat = *idat;
    return items;
}

std::vector<FileExtent> itemData(const QByteArray& file, const MetaItems& meta, const Item& item)
{
    refuseUnless(item.constructionMethod == 0 || (item.constructionMethod == 1 && meta.idat));
    refuseUnless(!item.extents.empty());
    const qint64 origin = item.constructionMethod == 1 ? meta.idat->body : 0;
    const qint64 limit = item.constructionMethod == 1 ? meta.idat->end : file.size();
    std::vector<FileExtent> extents;
    for (const FileExtent& extent : item.extents) {
        const qint64 begin = origin + extent.offset;
        // A length of 0 runs to the end of the file, or of idat.
        const qint64 length = extent.length == 0 ? limit - begin : extent.length;
        refuseUnless(begin <= limit && length > 0 && length <= limit - begin);
        extents.push_back({begin, length});
    }
    return extents;
}

std::vector<quint32> referencesFrom(const MetaItems& meta, quint32 item, const char* type)
{
    std::vector<quint32> to;
    for (const int index : meta.referencesFrom.value(item)) {
        const ItemReference& reference = meta.references[static_cast<size_t>(index)];
        if (reference.type == type)
            to.insert(to.end(), reference.to.begin(), reference.to.end());
    }
    return to;
}

} // namespace kavelora::decoder::heif
