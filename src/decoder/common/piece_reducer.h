// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QRgb>
#include <QSize>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace kavelora::decoder {

// Averages blocks of factor x factor source pixels into target exactly as AreaReducer does,
// but takes pieces of source rows in any order, from several threads at once, as decoders
// that work on tiles or groups hand them out. Only the target rows with pieces still to come
// hold sums; a row is written as soon as its last piece arrives. target is
// reducedSize(sourceSize, factor): RGB32, ARGB32_Premultiplied (averaged by alpha), or, for
// factor 1 only, ARGB32; at factor 1 the pieces are copied straight in.
class PieceReducer
{
public:
    // Raises nothing; target must already have the size and format above.
    PieceReducer(QImage& target, QSize sourceSize, int factor);

    // Adds count ARGB pixels (not premultiplied) of source row y from column x on. Each source
    // pixel must come exactly once; pieces outside the source are ignored.
    void addPiece(int x, int y, const QRgb* pixels, int count);
    // Whether as many source pixels came as the source holds: false when a decoder stopped
    // short, and the copy has rows it never wrote.
    bool complete() const;

private:
    struct TargetRow
    {
        std::mutex lock;
        std::vector<quint32> sums; // per target pixel: alpha, red, green, blue
        qint64 pixelsReceived = 0;
    };

    void finishRow(int targetRow, TargetRow& row) const;

    // The target's words, taken once: scanLine() may detach, which threads must not race on.
    uchar* m_bits;
    qsizetype m_bytesPerLine;
    int m_targetWidth;
    QSize m_sourceSize;
    int m_factor;
    bool m_premultiply;
    std::unique_ptr<TargetRow[]> m_rows;
    std::atomic<qint64> m_pixelsReceived = 0;
};

} // namespace kavelora::decoder
