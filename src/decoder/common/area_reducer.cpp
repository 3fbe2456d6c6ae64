// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/common/area_reducer.h"

#include <algorithm>

namespace kavelora::decoder {

namespace {
// Keeps each block's sums of premultiplied colour within 32 bits.
constexpr int kMaxReductionFactor = 64;
} // namespace

int areaReductionFactor(QSize ownSize, QSize coverPixels)
{
    const int across = ownSize.width() / std::max(1, coverPixels.width());
    const int down = ownSize.height() / std::max(1, coverPixels.height());
    return std::clamp(std::min(across, down), 1, kMaxReductionFactor);
}

QSize reducedSize(QSize ownSize, int factor)
{
    return QSize((ownSize.width() + factor - 1) / factor, (ownSize.height() + factor - 1) / factor);
}

AreaReducer::AreaReducer(QImage& target, int sourceHeight, int factor)
    : m_target(target)
    , m_sourceHeight(sourceHeight)
    , m_factor(factor)
    , m_premultiply(target.format() == QImage::Format_ARGB32_Premultiplied)
{
    const int channels = target.format() == QImage::Format_Grayscale8 ? 1 : 4;
    m_sums.assign(static_cast<std::size_t>(target.width() * channels), 0);
}

void AreaReducer::addRow(const QRgb* pixels, int width)
{
    quint32* sums = m_sums.data();
    for (int start = 0; start < width; start += m_factor, sums += 4) {
        const int end = std::min(width, start + m_factor);
        quint32 alpha = 0, red = 0, green = 0, blue = 0;
        for (int x = start; x < end; ++x) {
            const QRgb pixel = pixels[x];
            const quint32 weight = m_premultiply ? static_cast<quint32>(qAlpha(pixel)) : 1;
            alpha += static_cast<quint32>(qAlpha(pixel));
            red += static_cast<quint32>(qRed(pixel)) * weight;
            green += static_cast<quint32>(qGreen(pixel)) * weight;
            blue += static_cast<quint32>(qBlue(pixel)) * weight;
        }
        sums[0] += alpha;
        sums[1] += red;
        sums[2] += green;
        sums[3] += blue;
    }
    finishBandIfComplete(width);
}

void AreaReducer::addGrayRow(const uchar* gray, int width)
{
    quint32* sums = m_sums.data();
    for (int start = 0; start < width; start += m_factor, ++sums) {
        const int end = std::min(width, start + m_factor);
        quint32 level = 0;
        for (int x = start; x < end; ++x)
            level += gray[x];
        *sums += level;
    }
    finishBandIfComplete(width);
}

void AreaReducer::finishBandIfComplete(int width)
{
    ++m_sourceRow;
    if (m_sourceRow % m_factor != 0 && m_sourceRow != m_sourceHeight)
        return;
    const int targetRow = (m_sourceRow - 1) / m_factor;
    const auto rows = static_cast<quint32>(m_sourceRow - targetRow * m_factor);
    const auto averaged = [](quint32 sum, quint32 count) { return (sum + count / 2) / count; };
    uchar* line = m_target.scanLine(targetRow);
    const bool gray = m_target.format() == QImage::Format_Grayscale8;
    for (int x = 0; x < m_target.width(); ++x) {
        const auto columns = static_cast<quint32>(std::min(m_factor, width - x * m_factor));
        const quint32 count = columns * rows;
        if (gray) {
            line[x] = static_cast<uchar>(averaged(m_sums[static_cast<std::size_t>(x)], count));
            continue;
        }
        const quint32* sums = &m_sums[static_cast<std::size_t>(x) * 4];
        const quint32 channelCount = m_premultiply ? count * 255 : count;
        reinterpret_cast<QRgb*>(line)[x] = qRgba(static_cast<int>(averaged(sums[1], channelCount)),
                                                 static_cast<int>(averaged(sums[2], channelCount)),
                                                 static_cast<int>(averaged(sums[3], channelCount)),
                                                 static_cast<int>(averaged(sums[0], count)));
    }
    std::fill(m_sums.begin(), m_sums.end(), 0);
}

} // namespace kavelora::decoder
