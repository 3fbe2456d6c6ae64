// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "heif_writer.h"

#include "byte_fields.h"

namespace kavelora::tests {
namespace {

using heif_property::box;
using heif_property::fullBox;

QByteArray be16(quint32 value)
{
    QByteArray bytes(2, Qt::Uninitialized);
    put16be(bytes, 0, value);
    return bytes;
}

QByteArray zeros(int count)
{
    return QByteArray(count, '\0');
}

// The identity transform of mvhd and tkhd, in 16.16 and 2.30 fixed point.
QByteArray unityMatrix()
{
    return be32(0x10000) + zeros(12) + be32(0x10000) + zeros(12) + be32(0x40000000);
}

QByteArray sampleEntry(const HevcPicture& first, const QByteArray& extraBoxes)
{
    const auto width = static_cast<quint32>(first.size.width());
    const auto height = static_cast<quint32>(first.size.height());
    return box("hvc1", zeros(6) + be16(1) + zeros(16) + be16(width) + be16(height) +
                           be32(0x480000) + be32(0x480000) + zeros(4) + be16(1) + zeros(32) +
                           be16(0x18) + be16(0xffff) + box("hvcC", first.configuration) +
                           extraBoxes);
}

QByteArray sampleTable(const QList<HevcPicture>& samples, qint64 chunkOffset, bool wide,
                       const QByteArray& extraBoxes)
{
    const auto count = static_cast<quint32>(samples.size());
    QByteArray sizes;
    for (const HevcPicture& sample : samples)
        sizes += be32(static_cast<quint32>(sample.data.size()));
    const QByteArray chunkOffsets =
        wide ? fullBox("co64", 0, 0,
                       be32(1) + be32(static_cast<quint32>(chunkOffset >> 32)) +
                           be32(static_cast<quint32>(chunkOffset)))
             : fullBox("stco", 0, 0, be32(1) + be32(static_cast<quint32>(chunkOffset)));
    return box("stbl", fullBox("stsd", 0, 0, be32(1) + sampleEntry(samples.first(), extraBoxes)) +
                           fullBox("stts", 0, 0, be32(1) + be32(count) + be32(1)) +
                           fullBox("stsc", 0, 0, be32(1) + be32(1) + be32(count) + be32(1)) +
                           fullBox("stsz", 0, 0, be32(0) + be32(count) + sizes) + chunkOffsets);
}

QByteArray movie(const QList<HevcPicture>& samples, qint64 chunkOffset, bool wide,
                 const QByteArray& extraBoxes)
{
    const auto count = static_cast<quint32>(samples.size());
    const auto width = static_cast<quint32>(samples.first().size.width());
    const auto height = static_cast<quint32>(samples.first().size.height());
    const QByteArray mvhd = fullBox("mvhd", 0, 0,
                                    zeros(8) + be32(1) + be32(count) + be32(0x10000) + be16(0x100) +
                                        zeros(10) + unityMatrix() + zeros(24) + be32(2));
    const QByteArray tkhd =
        fullBox("tkhd", 0, 3,
                zeros(8) + be32(1) + zeros(4) + be32(count) + zeros(8) + zeros(8) + unityMatrix() +
                    be32(width << 16) + be32(height << 16));
    const QByteArray mdhd =
        fullBox("mdhd", 0, 0, zeros(8) + be32(1) + be32(count) + be16(0x55c4) + zeros(2));
    const QByteArray hdlr = fullBox("hdlr", 0, 0, be32(0) + "pict" + zeros(13));
    const QByteArray dinf = box("dinf", fullBox("dref", 0, 0, be32(1) + fullBox("url ", 0, 1, {})));
    const QByteArray minf = box("minf", fullBox("vmhd", 0, 1, zeros(8)) + dinf +
                                            sampleTable(samples, chunkOffset, wide, extraBoxes));
    return box("moov", mvhd + box("trak", tkhd + box("mdia", mdhd + hdlr + minf)));
}

} // namespace

QByteArray writeHeifSequence(const QList<HevcPicture>& samples, bool wideChunkOffsets,
                             const QByteArray& extraEntryBoxes)
{
    if (samples.isEmpty())
        return {};
    const QByteArray ftyp = box("ftyp", QByteArray("msf1") + be32(0) + "msf1hevciso8");
    QByteArray data;
    for (const HevcPicture& sample : samples)
        data += sample.data;
    // moov's fields have fixed widths, so its size does not depend on the chunk offset.
    const qint64 chunkOffset =
        ftyp.size() + movie(samples, 0, wideChunkOffsets, extraEntryBoxes).size() + 8;
    return ftyp + movie(samples, chunkOffset, wideChunkOffsets, extraEntryBoxes) +
           box("mdat", data);
}

} // namespace kavelora::tests
