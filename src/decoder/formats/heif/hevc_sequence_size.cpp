// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/heif/hevc_sequence_size.h"

#include <QByteArray>

#include <array>

namespace kavelora::decoder::heif {

namespace {

constexpr int kSequenceParameterSetType = 33;
// The general profile, tier and level, and each sub-layer's profile, in bits.
constexpr int kProfileBits = 88;
constexpr int kLevelBits = 8;

// Bits of a unit's payload with its emulation prevention bytes (00 00 03) taken out.
class BitReader
{
public:
    explicit BitReader(QByteArrayView payload)
    {
        int zeros = 0;
        for (const char byte : payload) {
            if (zeros >= 2 && byte == 3) {
                zeros = 0;
                continue;
            }
            zeros = byte == 0 ? zeros + 1 : 0;
            m_bytes.append(byte);
        }
    }

    bool failed() const { return m_failed; }

    quint32 bits(int count)
    {
        quint32 value = 0;
        for (int i = 0; i < count; ++i) {
            if (m_position >= m_bytes.size() * 8) {
                m_failed = true;
                return 0;
            }
            const auto byte = static_cast<uchar>(m_bytes[m_position / 8]);
            value = (value << 1) | ((byte >> (7 - m_position % 8)) & 1u);
            ++m_position;
        }
        return value;
    }

    void skip(int count)
    {
        m_position += count;
        if (m_position > m_bytes.size() * 8)
            m_failed = true;
    }

    // An unsigned Exp-Golomb number; past 31 leading zeros the unit is broken.
    quint32 unsignedCode()
    {
        int zeros = 0;
        while (!m_failed && bits(1) == 0) {
            if (++zeros > 31) {
                m_failed = true;
                return 0;
            }
        }
        return static_cast<quint32>((quint64{1} << zeros) - 1 + bits(zeros));
    }

private:
    QByteArray m_bytes;
    qsizetype m_position = 0;
    bool m_failed = false;
};

} // namespace

bool isSequenceParameterSet(QByteArrayView unit)
{
    return !unit.isEmpty() &&
           ((static_cast<uchar>(unit[0]) >> 1) & 0x3f) == kSequenceParameterSetType;
}

std::optional<QSize> sequencePictureSize(QByteArrayView unit)
{
    if (unit.size() < 3 || !isSequenceParameterSet(unit))
        return std::nullopt;
    BitReader reader(unit.sliced(2));
    reader.skip(4); // sps_video_parameter_set_id
    const int subLayers = static_cast<int>(reader.bits(3));
    reader.skip(1 + kProfileBits + kLevelBits);
    std::array<bool, 8> profilePresent{};
    std::array<bool, 8> levelPresent{};
    for (int layer = 0; layer < subLayers; ++layer) {
        profilePresent[static_cast<std::size_t>(layer)] = reader.bits(1) != 0;
        levelPresent[static_cast<std::size_t>(layer)] = reader.bits(1) != 0;
    }
    if (subLayers > 0)
        reader.skip(2 * (8 - subLayers));
    for (int layer = 0; layer < subLayers; ++layer)
        reader.skip((profilePresent[static_cast<std::size_t>(layer)] ? kProfileBits : 0) +
                    (levelPresent[static_cast<std::size_t>(layer)] ? kLevelBits : 0));
    reader.unsignedCode(); // sps_seq_parameter_set_id
    if (reader.unsignedCode() == 3)
        reader.skip(1); // separate_colour_plane_flag
    const quint32 width = reader.unsignedCode();
    const quint32 height = reader.unsignedCode();
    constexpr quint32 kLargestSide = 1u << 16;
    if (reader.failed() || width == 0 || height == 0 || width > kLargestSide ||
        height > kLargestSide)
        return std::nullopt;
    return QSize(static_cast<int>(width), static_cast<int>(height));
}

} // namespace kavelora::decoder::heif
