// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/common/piece_reducer.h"

#include <algorithm>
#include <cstring>

namespace kavelora::decoder {

PieceReducer::PieceReducer(QImage& target, QSize sourceSize, int factor)
    : m_bits(target.bits())
    , m_bytesPerLine(target.bytesPerLine())
    , m_targetWidth(target.width())
    , m_sourceSize(sourceSize)
    , m_factor(factor)
    , m_premultiply(target.format() == QImage::Format_ARGB32_Premultiplied)
    , m_rows(std::make_unique<TargetRow[]>(static_cast<std::size_t>(target.height())))
{}

void PieceReducer::addPiece(int x, int y, const QRgb* pixels, int count)
{
    if (y < 0 || y >= m_sourceSize.height() || x < 0 || x >= m_sourceSize.width() || count <= 0)
        return;
    count = std::min(count, m_sourceSize.width() - x);
    m_pixelsReceived.fetch_add(count, std::memory_order_relaxed);
    const int targetRow = y / m_factor;
    uchar* line = m_bits + targetRow * m_bytesPerLine;
    if (m_factor == 1) {
        std::memcpy(line + x * qsizetype{sizeof(QRgb)}, pixels,
                    static_cast<std::size_t>(count) * sizeof(QRgb));
        return;
    }
    TargetRow& row = m_rows[static_cast<std::size_t>(targetRow)];
    const std::lock_guard guard(row.lock);
    if (row.sums.empty())
        row.sums.assign(static_cast<std::size_t>(m_targetWidth) * 4, 0);
    for (int i = 0; i < count; ++i) {
        const QRgb pixel = pixels[i];
        quint32* sums = &row.sums[static_cast<std::size_t>((x + i) / m_factor) * 4];
        const quint32 weight = m_premultiply ? static_cast<quint32>(qAlpha(pixel)) : 1;
        sums[0] += static_cast<quint32>(qAlpha(pixel));
        sums[1] += static_cast<quint32>(qRed(pixel)) * weight;
        sums[2] += static_cast<quint32>(qGreen(pixel)) * weight;
        sums[3] += static_cast<quint32>(qBlue(pixel)) * weight;
    }
    row.pixelsReceived += count;
    const int bandRows = std::min(m_factor, m_sourceSize.height() - targetRow * m_factor);
    if (row.pixelsReceived == qint64{bandRows} * m_sourceSize.width())
        finishRow(targetRow, row);
}

bool PieceReducer::complete() const
{
    return m_pixelsReceived.load() == qint64{m_sourceSize.width()} * m_sourceSize.height();
}

// Rounds as AreaReducer does, so that either gives the same copy.
void PieceReducer::finishRow(int targetRow, TargetRow& row) const
{
    const auto rows =
        static_cast<quint32>(std::min(m_factor, m_sourceSize.height() - targetRow * m_factor));
    const auto averaged = [](quint32 sum, quint32 count) { return (sum + count / 2) / count; };
    auto* line = reinterpret_cast<QRgb*>(m_bits + targetRow * m_bytesPerLine);
    for (int x = 0; x < m_targetWidth; ++x) {
        const auto columns =
            static_cast<quint32>(std::min(m_factor, m_sourceSize.width() - x * m_factor));
        const quint32 count = columns * rows;
        const quint32* sums = &row.sums[static_cast<std::size_t>(x) * 4];
        const quint32 channelCount = m_premultiply ? count * 255 : count;
        line[x] = qRgba(static_cast<int>(averaged(sums[1], channelCount)),
                        static_cast<int>(averaged(sums[2], channelCount)),
                        static_cast<int>(averaged(sums[3], channelCount)),
                        static_cast<int>(averaged(sums[0], count)));
    }
    std::vector<quint32>().swap(row.sums);
}

} // namespace kavelora::decoder
