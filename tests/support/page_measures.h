// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>

#include <cmath>

// The page the private print queue prints on, and how closely printed boxes are measured.
namespace kavelora::tests {

inline constexpr double kMillimetresPerInch = 25.4;
inline constexpr double kPointsPerInch = 72.0;

// The queue's margin on every side of the paper, in points.
inline constexpr double kQueueMarginPoints = 18.0;
inline constexpr double kQueueMarginMillimetres =
    kQueueMarginPoints / kPointsPerInch * kMillimetresPerInch;
// How far a measured edge may lie from where it belongs, in millimetres.
inline constexpr double kMeasureToleranceMillimetres = 0.5;

// The queue's page: A4 portrait with kQueueMarginPoints on every side.
inline QPageLayout queuePageLayout()
{
    const double margin = kQueueMarginPoints;
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                       QMarginsF(margin, margin, margin, margin), QPageLayout::Point);
}

// True when two lengths in millimetres agree within kMeasureToleranceMillimetres.
inline bool nearMillimetres(double actual, double expected)
{
    return std::abs(actual - expected) <= kMeasureToleranceMillimetres;
}

} // namespace kavelora::tests
