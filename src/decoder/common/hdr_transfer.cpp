// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/common/hdr_transfer.h"

#include <algorithm>
#include <cmath>

namespace kavelora::decoder {

namespace {

// SMPTE ST 2084's constants.
constexpr double kPqM1 = 2610.0 / 16384.0;
constexpr double kPqM2 = 2523.0 / 4096.0 * 128.0;
constexpr double kPqC1 = 3424.0 / 4096.0;
constexpr double kPqC2 = 2413.0 / 4096.0 * 32.0;
constexpr double kPqC3 = 2392.0 / 4096.0 * 32.0;

// ARIB STD-B67's constants.
constexpr double kHlgA = 0.17883277;
constexpr double kHlgB = 1.0 - 4.0 * kHlgA;
constexpr double kHlgC = 0.55991073;

} // namespace

double pqSignalToNits(double signal)
{
    const double powered = std::pow(std::clamp(signal, 0.0, 1.0), 1.0 / kPqM2);
    const double ratio = std::max(powered - kPqC1, 0.0) / (kPqC2 - kPqC3 * powered);
    return kPqPeakNits * std::pow(ratio, 1.0 / kPqM1);
}

double nitsToPqSignal(double nits)
{
    const double powered = std::pow(std::clamp(nits / kPqPeakNits, 0.0, 1.0), kPqM1);
    return std::pow((kPqC1 + kPqC2 * powered) / (1.0 + kPqC3 * powered), kPqM2);
}

double hlgSignalToSceneLight(double signal)
{
    const double clamped = std::clamp(signal, 0.0, 1.0);
    if (clamped <= 0.5)
        return clamped * clamped / 3.0;
    return (std::exp((clamped - kHlgC) / kHlgA) + kHlgB) / 12.0;
}

double hlgSystemGamma(double peakNits)
{
    return 1.2 + 0.42 * std::log10(std::clamp(peakNits, 400.0, 2000.0) / 1000.0);
}

} // namespace kavelora::decoder
