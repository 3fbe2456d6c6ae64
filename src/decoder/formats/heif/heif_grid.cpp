// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/heif/heif_grid.h"

#include "decoder/formats/heif/heif_boxes.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace kavelora::decoder {

namespace {

using heif::Box;
using heif::boxesIn;
using heif::Fields;

const Box* find(const std::vector<Box>& boxes, const char* type)
{
    return heif::findBox(boxes, type);
}

bool isGrid(const QByteArray& bytes, const Box& iinf, quint64 item)
{
    Fields fields(bytes, iinf.body, iinf.end);
    const quint64 version = fields.take(1);
    fields.take(3);
    fields.take(version == 0 ? 2 : 4); // the entry count; the boxes that follow tell it too
    if (fields.failed())
        return false;
    for (const Box& infe : boxesIn(bytes, fields.position(), iinf.end)) {
        Fields entry(bytes, infe.body, infe.end);
        const quint64 entryVersion = entry.take(1);
        entry.take(3);
        if (infe.type != "infe" || entryVersion < 2)
            continue;
        const quint64 id = entry.take(entryVersion == 2 ? 2 : 4);
        entry.take(2); // the protection index
        const qsizetype typeAt = entry.position();
        entry.take(4);
        if (!entry.failed() && id == item)
            return bytes.mid(typeAt, 4) == "grid";
    }
    return false;
}

// Where item's data lies in bytes: its first extent.
struct Extent
{
    qsizetype begin = 0;
    qsizetype end = 0;
};

std::optional<Extent> itemData(const QByteArray& bytes, const Box& iloc, const Box* idat,
                               quint64 item)
{
    Fields fields(bytes, iloc.body, iloc.end);
    const quint64 version = fields.take(1);
    fields.take(3);
    const quint64 sizes = fields.take(1);
    const quint64 moreSizes = fields.take(1);
    const bool hasIndex = version == 1 || version == 2;
    const auto offsetBytes = static_cast<qsizetype>(sizes >> 4);
    const auto lengthBytes = static_cast<qsizetype>(sizes & 15);
    const auto baseBytes = static_cast<qsizetype>(moreSizes >> 4);
    const auto indexBytes = hasIndex ? static_cast<qsizetype>(moreSizes & 15) : 0;
    const quint64 count = fields.take(version < 2 ? 2 : 4);
    // Each item takes six bytes at least, so the count cannot outrun the box.
    for (quint64 i = 0; i < count && !fields.failed(); ++i) {
        const quint64 id = fields.take(version < 2 ? 2 : 4);
        const quint64 method = hasIndex ? fields.take(2) & 15 : 0;
        fields.take(2); // the data reference
        const quint64 base = fields.take(baseBytes);
        const quint64 extents = fields.take(2);
        quint64 offset = 0;
        quint64 length = 0;
        // Extents of no bytes at all say nothing but that the data starts at base.
        const qsizetype extentBytes = indexBytes + offsetBytes + lengthBytes;
        for (quint64 extent = 0; extentBytes > 0 && extent < extents && !fields.failed();
             ++extent) {
            fields.take(indexBytes);
            const quint64 extentOffset = fields.take(offsetBytes);
            const quint64 extentLength = fields.take(lengthBytes);
            if (extent == 0) {
                offset = extentOffset;
                length = extentLength;
            }
        }
        if (fields.failed() || id != item)
            continue;
        if (extents == 0 || method > 1 || (method == 1 && !idat))
            return std::nullopt;
        // libheif reads an extent in idat on into the file past idat's end, so only the end
        // of the file bounds it here too; a length of 0 runs to that end.
        const qsizetype origin = method == 1 ? idat->body : 0;
        const quint64 start = base + offset;
        if (start < base || start > static_cast<quint64>(bytes.size() - origin))
            return std::nullopt;
        const quint64 available = static_cast<quint64>(bytes.size() - origin) - start;
        const quint64 used = length == 0 ? available : std::min(length, available);
        return Extent{origin + static_cast<qsizetype>(start),
                      origin + static_cast<qsizetype>(start + used)};
    }
    return std::nullopt;
}

int side(quint64 pixels)
{
    return static_cast<int>(std::min<quint64>(pixels, INT_MAX));
}

} // namespace

std::optional<QSize> heifGridSize(const QByteArray& bytes)
{
    const std::vector<Box> top = boxesIn(bytes, 0, bytes.size());
    const Box* meta = find(top, "meta");
    if (!meta)
        return std::nullopt;
    // meta is a full box: a version and flags come before its children.
    const std::vector<Box> children = boxesIn(bytes, meta->body + 4, meta->end);
    const Box* pitm = find(children, "pitm");
    const Box* iinf = find(children, "iinf");
    const Box* iloc = find(children, "iloc");
    if (!pitm || !iinf || !iloc)
        return std::nullopt;
    Fields primary(bytes, pitm->body, pitm->end);
    const quint64 version = primary.take(1);
    primary.take(3);
    const quint64 item = primary.take(version == 0 ? 2 : 4);
    if (primary.failed() || !isGrid(bytes, *iinf, item))
        return std::nullopt;
    const std::optional<Extent> data = itemData(bytes, *iloc, find(children, "idat"), item);
    if (!data)
        return QSize();
    // A version, flags, the rows and columns less one, then the sides, 32-bit when flags say.
    Fields grid(bytes, data->begin, data->end);
    grid.take(1);
    const quint64 flags = grid.take(1);
    grid.take(2);
    const qsizetype sideBytes = (flags & 1) ? 4 : 2;
    const quint64 width = grid.take(sideBytes);
    const quint64 height = grid.take(sideBytes);
    if (grid.failed())
        return QSize();
    return QSize(side(width), side(height));
}

} // namespace kavelora::decoder
