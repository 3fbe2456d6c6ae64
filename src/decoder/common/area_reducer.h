// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QRgb>
#include <QSize>

#include <vector>

namespace kavelora::decoder {

// The whole-number factor a picture of ownSize is reduced by: the largest (up to 64) whose
// copy, ceil(side / factor) each way, still covers coverPixels both ways; 1 when none does.
int areaReductionFactor(QSize ownSize, QSize coverPixels);

// ownSize reduced by factor: ceil(side / factor) each way, as every scaling decoder rounds.
QSize reducedSize(QSize ownSize, int factor);

// Averages blocks of factor x factor source pixels, fed a row at a time, into target. The
// blocks at the right and bottom edges average the pixels they have. target is
// ceil(width / factor) x ceil(height / factor): Grayscale8 for gray rows, RGB32 for opaque
// colour rows, ARGB32_Premultiplied (averaged by alpha) for colour rows with alpha.
class AreaReducer
{
public:
    // Raises nothing; target must already have the size and format above.
    AreaReducer(QImage& target, int sourceHeight, int factor);

    // Adds the next source row of ARGB pixels (not premultiplied), target's width x factor wide.
    void addRow(const QRgb* pixels, int width);
    // Adds the next source row of gray bytes.
    void addGrayRow(const uchar* gray, int width);

private:
    void finishBandIfComplete(int width);

    QImage& m_target;
    int m_sourceHeight;
    int m_factor;
    int m_sourceRow = 0;
    bool m_premultiply;
    std::vector<quint32> m_sums; // per target pixel: alpha, red, green, blue (or gray alone)
};

} // namespace kavelora::decoder
