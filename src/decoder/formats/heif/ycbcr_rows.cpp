// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/heif/ycbcr_rows.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kavelora::decoder::heif {

namespace {

struct LumaWeights
{
    float red;
    float blue;
};

// Kr and Kb of the matrix coefficients; codes without weights here read as BT.601.
LumaWeights weightsOf(int matrixCoefficients)
{
    switch (matrixCoefficients) {
    case 1:
        return {0.2126f, 0.0722f};
    case 9:
    case 10:
        return {0.2627f, 0.0593f};
    default:
        return {0.299f, 0.114f};
    }
}

float clamped(float value)
{
    return std::clamp(value, 0.0f, 1.0f);
}

constexpr int kShareBits = 16;

qint32 share(float value)
{
    return static_cast<qint32>(std::lround(value * 255.0f * (1 << kShareBits)));
}

int level(qint32 sum)
{
    return std::clamp((sum + (1 << (kShareBits - 1))) >> kShareBits, 0, 255);
}

} // namespace

YCbCrRows::YCbCrRows(const YCbCrPlanes& planes, YCbCrCoding coding)
    : m_planes(planes)
    , m_identity(coding.matrixCoefficients == 0)
    , m_monochrome(planes.chroma == ChromaFormat::Monochrome)
    , m_chromaShiftX(planes.chroma == ChromaFormat::Yuv444 ? 0 : 1)
    , m_chromaShiftY(planes.chroma == ChromaFormat::Yuv420 ? 1 : 0)
{
    for (int plane = 0; plane < 3; ++plane) {
        const int bits = plane == 0 ? planes.lumaBits : planes.chromaBits;
        const float unit = static_cast<float>(1 << (bits - 8));
        // Identity-coded planes are green, blue and red, each ranged as luma.
        const bool rangedAsLuma = plane == 0 || m_identity;
        if (coding.fullRange) {
            m_offset[plane] = rangedAsLuma ? 0.0f : 128.0f * unit;
            m_scale[plane] = 1.0f / static_cast<float>((1 << bits) - 1);
        } else {
            m_offset[plane] = (rangedAsLuma ? 16.0f : 128.0f) * unit;
            m_scale[plane] = 1.0f / ((rangedAsLuma ? 219.0f : 224.0f) * unit);
        }
    }
    const LumaWeights weights = weightsOf(coding.matrixCoefficients);
    const float green = 1.0f - weights.red - weights.blue;
    m_redFromCr = 2.0f * (1.0f - weights.red);
    m_blueFromCb = 2.0f * (1.0f - weights.blue);
    m_greenFromCb = -2.0f * weights.blue * (1.0f - weights.blue) / green;
    m_greenFromCr = -2.0f * weights.red * (1.0f - weights.red) / green;
    // Tables of 2^bits entries, for samples of one width in all planes.
    constexpr int kLargestTableBits = 12;
    if (!m_identity && !m_monochrome && (planes.lumaBits > 8) == (planes.chromaBits > 8) &&
        std::max(planes.lumaBits, planes.chromaBits) <= kLargestTableBits)
        buildTables();
}

void YCbCrRows::buildTables()
{
    const auto table = [](std::vector<qint32>& shares, int bits, float offset, float scale,
                          float factor) {
        shares.resize(std::size_t{1} << bits);
        for (std::size_t value = 0; value < shares.size(); ++value)
            shares[value] = share((static_cast<float>(value) - offset) * scale * factor);
    };
    table(m_lumaShare, m_planes.lumaBits, m_offset[0], m_scale[0], 1.0f);
    table(m_redFromCrShare, m_planes.chromaBits, m_offset[2], m_scale[2], m_redFromCr);
    table(m_greenFromCbShare, m_planes.chromaBits, m_offset[1], m_scale[1], m_greenFromCb);
    table(m_greenFromCrShare, m_planes.chromaBits, m_offset[2], m_scale[2], m_greenFromCr);
    table(m_blueFromCbShare, m_planes.chromaBits, m_offset[1], m_scale[1], m_blueFromCb);
}

// Table look-ups instead of arithmetic: the common case of every phone photo.
template<typename Sample> void YCbCrRows::wordsByTables(int y, int x, int width, QRgb* out) const
{
    const auto* luma =
        reinterpret_cast<const Sample*>(m_planes.planes[0] + y * m_planes.bytesPerLine[0]);
    const int chromaY = y >> m_chromaShiftY;
    const auto* cb =
        reinterpret_cast<const Sample*>(m_planes.planes[1] + chromaY * m_planes.bytesPerLine[1]);
    const auto* cr =
        reinterpret_cast<const Sample*>(m_planes.planes[2] + chromaY * m_planes.bytesPerLine[2]);
    const std::size_t lumaLast = m_lumaShare.size() - 1;
    const std::size_t chromaLast = m_redFromCrShare.size() - 1;
    for (int i = 0; i < width; ++i) {
        const int column = x + i;
        const int chromaX = column >> m_chromaShiftX;
        // Samples past their bit depth are clamped to it rather than read past the tables.
        const qint32 lumaShare = m_lumaShare[std::min<std::size_t>(luma[column], lumaLast)];
        const std::size_t blue = std::min<std::size_t>(cb[chromaX], chromaLast);
        const std::size_t red = std::min<std::size_t>(cr[chromaX], chromaLast);
        out[i] = qRgb(level(lumaShare + m_redFromCrShare[red]),
                      level(lumaShare + m_greenFromCbShare[blue] + m_greenFromCrShare[red]),
                      level(lumaShare + m_blueFromCbShare[blue]));
    }
}

float YCbCrRows::sample(int plane, int x, int y) const
{
    const uchar* row = m_planes.planes[plane] + y * m_planes.bytesPerLine[plane];
    const int bits = plane == 0 ? m_planes.lumaBits : m_planes.chromaBits;
    float value = 0;
    if (bits > 8) {
        quint16 word = 0;
        std::memcpy(&word, row + 2 * x, sizeof word);
        value = word;
    } else {
        value = row[x];
    }
    return (value - m_offset[plane]) * m_scale[plane];
}

template<typename Store> void YCbCrRows::convert(int y, int x, int width, Store store) const
{
    const int chromaY = y >> m_chromaShiftY;
    for (int i = 0; i < width; ++i) {
        const int column = x + i;
        const float luma = sample(0, column, y);
        if (m_monochrome) {
            const float grey = clamped(luma);
            store(i, grey, grey, grey);
            continue;
        }
        const int chromaX = column >> m_chromaShiftX;
        const float cb = sample(1, chromaX, chromaY);
        const float cr = sample(2, chromaX, chromaY);
        if (m_identity) {
            store(i, clamped(cr), clamped(luma), clamped(cb));
            continue;
        }
        store(i, clamped(luma + m_redFromCr * cr),
              clamped(luma + m_greenFromCb * cb + m_greenFromCr * cr),
              clamped(luma + m_blueFromCb * cb));
    }
}

void YCbCrRows::toWords(int y, int x, int width, QRgb* out) const
{
    if (!m_lumaShare.empty()) {
        if (m_planes.lumaBits > 8)
            wordsByTables<quint16>(y, x, width, out);
        else
            wordsByTables<uchar>(y, x, width, out);
        return;
    }
    convert(y, x, width, [out](int i, float red, float green, float blue) {
        out[i] = qRgb(static_cast<int>(std::lround(red * 255.0f)),
                      static_cast<int>(std::lround(green * 255.0f)),
                      static_cast<int>(std::lround(blue * 255.0f)));
    });
}

void YCbCrRows::toSamples8(int y, int x, int width, uchar* out) const
{
    convert(y, x, width, [out](int i, float red, float green, float blue) {
        uchar* pixel = out + 3 * i;
        pixel[0] = static_cast<uchar>(std::lround(red * 255.0f));
        pixel[1] = static_cast<uchar>(std::lround(green * 255.0f));
        pixel[2] = static_cast<uchar>(std::lround(blue * 255.0f));
    });
}

void YCbCrRows::toSamples16(int y, int x, int width, quint16* out) const
{
    convert(y, x, width, [out](int i, float red, float green, float blue) {
        quint16* pixel = out + 3 * i;
        pixel[0] = static_cast<quint16>(std::lround(red * 65535.0f));
        pixel[1] = static_cast<quint16>(std::lround(green * 65535.0f));
        pixel[2] = static_cast<quint16>(std::lround(blue * 65535.0f));
    });
}

void YCbCrRows::toGray(int y, int x, int width, uchar* out) const
{
    const int bits = m_planes.lumaBits;
    const uchar* row = m_planes.planes[0] + y * m_planes.bytesPerLine[0];
    const quint32 largest = (1u << bits) - 1;
    for (int i = 0; i < width; ++i) {
        quint32 value = 0;
        if (bits > 8) {
            quint16 word = 0;
            std::memcpy(&word, row + 2 * (x + i), sizeof word);
            value = std::min<quint32>(word, largest);
        } else {
            value = row[x + i];
        }
        out[i] = static_cast<uchar>((value * 255u + largest / 2) / largest);
    }
}

} // namespace kavelora::decoder::heif
