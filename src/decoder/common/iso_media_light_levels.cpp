// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/common/iso_media_light_levels.h"

#include <QtEndian>

#include <optional>
#include <vector>

namespace kavelora::decoder {

namespace {

struct Box
{
    QByteArrayView type;
    QByteArrayView body;
};

quint32 bigEndian32(QByteArrayView bytes, qsizetype at)
{
    return qFromBigEndian<quint32>(bytes.constData() + at);
}

quint16 bigEndian16(QByteArrayView bytes, qsizetype at)
{
    return qFromBigEndian<quint16>(bytes.constData() + at);
}

// The boxes laid one after another in bytes, up to the first that does not fit.
std::vector<Box> boxesIn(QByteArrayView bytes)
{
    std::vector<Box> boxes;
    qsizetype at = 0;
    while (bytes.size() - at >= 8) {
        quint64 size = bigEndian32(bytes, at);
        qsizetype header = 8;
        if (size == 1) {
            if (bytes.size() - at < 16)
                break;
            size = qFromBigEndian<quint64>(bytes.constData() + at + 8);
            header = 16;
        } else if (size == 0) {
            size = static_cast<quint64>(bytes.size() - at);
        }
        if (size < static_cast<quint64>(header) || size > static_cast<quint64>(bytes.size() - at))
            break;
        const auto length = static_cast<qsizetype>(size);
        boxes.push_back({bytes.sliced(at + 4, 4), bytes.sliced(at + header, length - header)});
        at += length;
    }
    return boxes;
}

std::optional<QByteArrayView> child(QByteArrayView bytes, QByteArrayView type)
{
    for (const Box& box : boxesIn(bytes)) {
        if (box.type == type)
            return box.body;
    }
    return std::nullopt;
}

// The primary item's id from the body of a pitm box.
std::optional<quint32> primaryItem(QByteArrayView pitm)
{
    if (pitm.size() >= 6 && pitm[0] == 0)
        return bigEndian16(pitm, 4);
    if (pitm.size() >= 8)
        return bigEndian32(pitm, 4);
    return std::nullopt;
}

// The 1-based indices into ipco of the properties an ipma box's body gives item.
std::vector<int> propertiesOf(QByteArrayView ipma, quint32 item)
{
    std::vector<int> indices;
    if (ipma.size() < 8)
        return indices;
    const int version = ipma[0];
    const bool wideIndices = (ipma[3] & 1) != 0;
    const quint32 entries = bigEndian32(ipma, 4);
    qsizetype at = 8;
    for (quint32 entry = 0; entry < entries; ++entry) {
        const qsizetype idBytes = version < 1 ? 2 : 4;
        if (ipma.size() - at < idBytes + 1)
            break;
        const quint32 id = idBytes == 2 ? bigEndian16(ipma, at) : bigEndian32(ipma, at);
        const int associations = static_cast<uchar>(ipma[at + idBytes]);
        at += idBytes + 1;
        const qsizetype indexBytes = wideIndices ? 2 : 1;
        if (ipma.size() - at < associations * indexBytes)
            break;
        for (int association = 0; association < associations; ++association, at += indexBytes) {
            // The top bit says whether the property is essential.
            const int index =
                wideIndices ? bigEndian16(ipma, at) & 0x7FFF : static_cast<uchar>(ipma[at]) & 0x7F;
            if (id == item)
                indices.push_back(index);
        }
    }
    return indices;
}

void readProperty(const Box& property, StatedLightLevels& levels)
{
    if (property.type == "clli" && property.body.size() >= 4)
        levels.maxContentLight = bigEndian16(property.body, 0);
    // Three primaries and a white point (4 bytes each), then the peak in 0.0001 cd/m².
    if (property.type == "mdcv" && property.body.size() >= 24)
        levels.masteringPeak = static_cast<float>(bigEndian32(property.body, 16) / 10000.0);
}

} // namespace

StatedLightLevels statedLightLevels(QByteArrayView file)
{
    StatedLightLevels levels;
    const std::optional<QByteArrayView> meta = child(file, "meta");
    // meta is a full box: its children follow a version and flags.
    if (!meta || meta->size() < 4)
        return levels;
    const QByteArrayView metaChildren = meta->sliced(4);
    const std::optional<QByteArrayView> pitm = child(metaChildren, "pitm");
    const std::optional<QByteArrayView> iprp = child(metaChildren, "iprp");
    const std::optional<quint32> primary = pitm ? primaryItem(*pitm) : std::nullopt;
    if (!primary || !iprp)
        return levels;
    const std::vector<Box> iprpChildren = boxesIn(*iprp);
    const std::optional<QByteArrayView> ipco = child(*iprp, "ipco");
    if (!ipco)
        return levels;
    const std::vector<Box> properties = boxesIn(*ipco);
    for (const Box& box : iprpChildren) {
        if (box.type != "ipma")
            continue;
        for (const int index : propertiesOf(box.body, *primary)) {
            if (index >= 1 && static_cast<size_t>(index) <= properties.size())
                readProperty(properties[static_cast<size_t>(index) - 1], levels);
        }
    }
    return levels;
}

} // namespace kavelora::decoder
