// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "heif_writer.h"

#include "byte_fields.h"

#include <algorithm>

namespace kavelora::tests {
namespace {

QByteArray be16(quint32 value)
{
    QByteArray bytes(2, Qt::Uninitialized);
    put16be(bytes, 0, value);
    return bytes;
}

QByteArray byte(int value)
{
    return QByteArray(1, static_cast<char>(value));
}

// An item id or count in 16 bits, or 32 when the file is wide.
QByteArray id(quint32 value, bool wide)
{
    return wide ? be32(value) : be16(value);
}

using heif_property::box;
using heif_property::fullBox;

QByteArray infe(const HeifItem& item, bool wide)
{
    QByteArray body = id(item.id, wide) + be16(0) + item.type + byte(0);
    if (item.type == "mime")
        body += item.contentType + byte(0);
    return fullBox("infe", wide ? 3 : 2, item.hidden ? 1 : 0, body);
}

// A field of iloc, 4 or 8 bytes (or none).
QByteArray field(qint64 value, int bytes)
{
    if (bytes == 0)
        return {};
    return bytes == 8 ? be32(static_cast<quint32>(value >> 32)) + be32(static_cast<quint32>(value))
                      : be32(static_cast<quint32>(value));
}

// iloc (v1, or v2 when wide, unless the file says), the offsets, lengths and base offsets of
// the file's width, each extent after an index when it has one. Items in mdat lie from
// mdatStart on, those in idat from its start.
QByteArray iloc(const HeifFile& file, qint64 mdatStart)
{
    const int version = file.ilocVersion.value_or(file.wideFields ? 2 : 1);
    const int sizes = file.ilocFieldBytes;
    const int indexBytes = version == 0 ? 0 : file.ilocIndexBytes;
    QByteArray entries;
    quint32 count = 0;
    qint64 mdatOffset = 0;
    qint64 idatOffset = 0;
    for (const HeifItem& item : file.items) {
        // Derived items without data still get an entry, without extents: readers look them up.
        ++count;
        qint64& offset = item.inIdat ? idatOffset : mdatOffset;
        entries += id(item.id, version == 2);
        if (version > 0)
            entries +=
                be16(static_cast<quint32>(item.constructionMethod.value_or(item.inIdat ? 1 : 0)));
        entries += be16(0) + field(item.inIdat ? 0 : mdatStart, sizes);
        const bool split = item.splitAt > 0 && item.splitAt < item.data.size();
        entries += be16(item.data.isEmpty() ? 0 : split ? 2 : 1);
        if (item.data.isEmpty())
            continue;
        const qint64 firstLength = split ? item.splitAt : item.data.size();
        entries += field(1, indexBytes) + field(offset, sizes) +
                   field(item.claimedLength ? qint64{*item.claimedLength} : firstLength, sizes);
        if (split)
            entries += field(1, indexBytes) + field(offset + item.splitAt, sizes) +
                       field(item.data.size() - item.splitAt, sizes);
        offset += item.data.size();
    }
    return fullBox("iloc", version, 0,
                   byte(sizes << 4 | sizes) + byte(sizes << 4 | indexBytes) +
                       id(count, version == 2) + entries);
}

QByteArray iref(const HeifFile& file)
{
    QByteArray body;
    for (const HeifReference& reference : file.references) {
        QByteArray targets;
        for (const quint32 to : reference.to)
            targets += id(to, file.wideFields);
        body += box(reference.type, id(reference.from, file.wideFields) +
                                        be16(static_cast<quint32>(reference.to.size())) + targets);
    }
    return fullBox("iref", file.wideFields ? 1 : 0, 0, body);
}

QByteArray iprp(const HeifFile& file)
{
    std::vector<QByteArray> stored;
    QByteArray associations;
    for (const HeifItem& item : file.items) {
        associations +=
            id(item.id, file.wideFields) + byte(static_cast<int>(item.properties.size()));
        for (const HeifProperty& property : item.properties) {
            auto found = std::find(stored.begin(), stored.end(), property.box);
            if (found == stored.end())
                found = stored.insert(stored.end(), property.box);
            const auto index = static_cast<quint32>(found - stored.begin() + 1);
            if (file.wideFields)
                associations += be16((property.essential ? 0x8000 : 0) | index);
            else
                associations += byte(static_cast<int>((property.essential ? 0x80 : 0) | index));
        }
    }
    QByteArray properties;
    for (const QByteArray& property : stored)
        properties += property;
    return box("iprp", box("ipco", properties) +
                           fullBox("ipma", file.wideFields ? 1 : 0, file.wideFields ? 1 : 0,
                                   be32(static_cast<quint32>(file.items.size())) + associations));
}

QByteArray meta(const HeifFile& file, qint64 mdatStart)
{
    QByteArray iinfBody = id(static_cast<quint32>(file.items.size()), file.wideFields);
    QByteArray idat;
    for (const HeifItem& item : file.items) {
        iinfBody += infe(item, file.wideFields);
        if (item.inIdat)
            idat += item.data;
    }
    QByteArray body = fullBox("hdlr", 0, 0, be32(0) + "pict" + QByteArray(13, '\0'));
    body += fullBox("pitm", file.wideFields ? 1 : 0, 0, id(file.primary, file.wideFields));
    body += fullBox("iinf", file.wideFields ? 1 : 0, 0, iinfBody);
    body += iloc(file, mdatStart);
    if (!file.references.empty())
        body += iref(file);
    body += iprp(file);
    if (!idat.isEmpty())
        body += box("idat", idat);
    body += file.extraMetaBox;
    return fullBox("meta", 0, 0, body);
}

} // namespace

namespace heif_property {

QByteArray box(const QByteArray& type, const QByteArray& body)
{
    return be32(static_cast<quint32>(body.size() + 8)) + type + body;
}

QByteArray fullBox(const QByteArray& type, int version, quint32 flags, const QByteArray& body)
{
    return box(type, be32((static_cast<quint32>(version) << 24) | flags) + body);
}

HeifProperty ispe(QSize size)
{
    return {fullBox("ispe", 0, 0,
                    be32(static_cast<quint32>(size.width())) +
                        be32(static_cast<quint32>(size.height())))};
}

HeifProperty hvcC(const QByteArray& configuration)
{
    return {box("hvcC", configuration), true};
}

HeifProperty colrNclx(int primaries, int transfer, int matrix, bool fullRange)
{
    return {box("colr", "nclx" + be16(static_cast<quint32>(primaries)) +
                            be16(static_cast<quint32>(transfer)) +
                            be16(static_cast<quint32>(matrix)) + byte(fullRange ? 0x80 : 0))};
}

HeifProperty colrIcc(const QByteArray& profile)
{
    return {box("colr", "prof" + profile)};
}

HeifProperty pixi(const QList<int>& bitsPerChannel)
{
    QByteArray body = byte(static_cast<int>(bitsPerChannel.size()));
    for (const int bits : bitsPerChannel)
        body += byte(bits);
    return {fullBox("pixi", 0, 0, body)};
}

HeifProperty clap(Fraction width, Fraction height, Fraction horizontalOffset,
                  Fraction verticalOffset)
{
    QByteArray body;
    for (const Fraction& part : {width, height, horizontalOffset, verticalOffset})
        body += be32(static_cast<quint32>(part.numerator)) + be32(part.denominator);
    return {box("clap", body), true};
}

HeifProperty irot(int quarterTurns)
{
    return {box("irot", byte(quarterTurns & 3)), true};
}

HeifProperty imir(int axis)
{
    return {box("imir", byte(axis & 1)), true};
}

HeifProperty auxC(const QByteArray& urn)
{
    return {fullBox("auxC", 0, 0, urn + byte(0)), true};
}

HeifProperty clli(quint16 maxContentLight, quint16 maxFrameAverageLight)
{
    return {box("clli", be16(maxContentLight) + be16(maxFrameAverageLight))};
}

HeifProperty mdcv(quint32 maxLuminance, quint32 minLuminance)
{
    // BT.2020 primaries (green, blue, red) and D65 white in units of 0.00002.
    QByteArray body;
    for (const quint32 coordinate : {8500u, 39850u, 6550u, 2300u, 35400u, 14600u, 15635u, 16450u})
        body += be16(coordinate);
    return {box("mdcv", body + be32(maxLuminance) + be32(minLuminance))};
}

} // namespace heif_property

QByteArray writeHeif(const HeifFile& file)
{
    QByteArray compatible;
    for (const QByteArray& brand : file.brands)
        compatible += brand;
    const QByteArray ftyp = box("ftyp", file.majorBrand + be32(0) + compatible);
    // Every field has a fixed width, so meta is as long whatever mdat's offset is.
    const qint64 metaSize = meta(file, 0).size();
    const qint64 mdatStart = ftyp.size() + metaSize + 8;
    QByteArray mdat;
    for (const HeifItem& item : file.items)
        if (!item.inIdat)
            mdat += item.data;
    return ftyp + meta(file, mdatStart) + box("mdat", mdat);
}

HeifItem heifItem(quint32 id, const QByteArray& type, const QByteArray& data)
{
    HeifItem item;
    item.id = id;
    item.type = type;
    item.data = data;
    return item;
}

HeifItem codedItem(quint32 id, const HevcPicture& picture,
                   std::vector<HeifProperty> extraProperties)
{
    HeifItem item = heifItem(id, "hvc1", picture.data);
    item.properties = {heif_property::hvcC(picture.configuration),
                       heif_property::ispe(picture.size)};
    item.properties.insert(item.properties.end(), extraProperties.begin(), extraProperties.end());
    return item;
}

QByteArray gridData(int rows, int columns, QSize outputSize)
{
    const bool wide = outputSize.width() > 0xffff || outputSize.height() > 0xffff;
    const auto side = [wide](int value) {
        return wide ? be32(static_cast<quint32>(value)) : be16(static_cast<quint32>(value));
    };
    return byte(0) + byte(wide ? 1 : 0) + byte(rows - 1) + byte(columns - 1) +
           side(outputSize.width()) + side(outputSize.height());
}

QByteArray overlayData(const std::array<quint16, 4>& fill, QSize outputSize,
                       const QList<QPoint>& offsets)
{
    QByteArray data = byte(0) + byte(0);
    for (const quint16 channel : fill)
        data += be16(channel);
    data += be16(static_cast<quint32>(outputSize.width())) +
            be16(static_cast<quint32>(outputSize.height()));
    for (const QPoint& offset : offsets)
        data += be16(static_cast<quint32>(offset.x())) + be16(static_cast<quint32>(offset.y()));
    return data;
}

} // namespace kavelora::tests
