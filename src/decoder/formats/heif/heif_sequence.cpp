// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/heif/heif_sequence.h"

#include "decoder/formats/heif/heif_boxes.h"

#include <optional>

namespace kavelora::decoder::heif {
namespace {

// The visual sample entry's fields come before its boxes.
constexpr qsizetype kVisualEntryFieldBytes = 78;

// The child of parent of type, after skip bytes of parent's own fields; null when none.
std::optional<Box> child(const QByteArray& file, const Box& parent, const char* type,
                         qsizetype skip = 0)
{
    bool overran = false;
    const std::vector<Box> boxes = boxesIn(file, parent.body + skip, parent.end, &overran);
    refuseUnless(!overran);
    const Box* found = findBox(boxes, type);
    return found ? std::optional<Box>(*found) : std::nullopt;
}

Box required(const std::optional<Box>& box)
{
    refuseUnless(box.has_value());
    return *box;
}

bool isPictureTrack(const QByteArray& file, const Box& trak)
{
    const std::optional<Box> mdia = child(file, trak, "mdia");
    const std::optional<Box> hdlr = mdia ? child(file, *mdia, "hdlr") : std::nullopt;
    if (!hdlr)
        return false;
    Fields fields(file, *hdlr);
    fields.takeVersion();
    fields.take(4);
    return fields.takeType() == "pict";
}

// The hvc1 sample entry: its size and the body of its hvcC.
void readSampleEntry(const QByteArray& file, const Box& stsd, SequenceImage& image)
{
    // A version and flags, then the entry count.
    const Box entry = required(child(file, stsd, "hvc1", 8));
    Fields fields(file, entry);
    // Six reserved bytes, the data reference, 16 bytes of nothing in use, then the size.
    fields.take(6);
    fields.take(2);
    fields.take(8);
    fields.take(8);
    const auto width = static_cast<int>(fields.take(2));
    const auto height = static_cast<int>(fields.take(2));
    refuseUnless(!fields.failed() && width > 0 && height > 0);
    image.size = QSize(width, height);
    const Box hvcC = required(child(file, entry, "hvcC", kVisualEntryFieldBytes));
    image.entryBoxes = boxesIn(file, entry.body + kVisualEntryFieldBytes, entry.end);
    image.configuration = file.mid(hvcC.body, hvcC.end - hvcC.body);
}

// The first sample lies at the first chunk's offset, and is stsz's first size long.
FileExtent firstSample(const QByteArray& file, const Box& stbl)
{
    Fields sizes(file, required(child(file, stbl, "stsz")));
    sizes.takeVersion();
    quint64 size = sizes.take(4);
    const quint64 count = sizes.take(4);
    if (size == 0)
        size = sizes.take(4);
    refuseUnless(!sizes.failed() && count > 0 && size > 0);
    const std::optional<Box> stco = child(file, stbl, "stco");
    Fields offsets(file, stco ? *stco : required(child(file, stbl, "co64")));
    offsets.takeVersion();
    refuseUnless(offsets.take(4) > 0);
    const quint64 offset = offsets.take(stco ? 4 : 8);
    refuseUnless(!offsets.failed());
    const auto fileSize = static_cast<quint64>(file.size());
    refuseUnless(offset < fileSize && size <= fileSize - offset);
    return {static_cast<qint64>(offset), static_cast<qint64>(size)};
}

} // namespace

SequenceImage firstSequenceImage(const QByteArray& file, const Box& moov)
{
    bool overran = false;
    const std::vector<Box> tracks = boxesIn(file, moov.body, moov.end, &overran);
    refuseUnless(!overran);
    for (const Box& trak : tracks) {
        if (trak.type != "trak" || !isPictureTrack(file, trak))
            continue;
        const Box mdia = required(child(file, trak, "mdia"));
        const Box minf = required(child(file, mdia, "minf"));
        const Box stbl = required(child(file, minf, "stbl"));
        SequenceImage image;
        readSampleEntry(file, required(child(file, stbl, "stsd")), image);
        image.firstSample = firstSample(file, stbl);
        return image;
    }
    refuseUnless(false);
    return {};
}

} // namespace kavelora::decoder::heif
