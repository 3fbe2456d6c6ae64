// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/common/highlight_roll_off.h"

#include "decoder/common/hdr_transfer.h"

#include <algorithm>

namespace kavelora::decoder {

HighlightRollOff::HighlightRollOff(double sourcePeakNits)
{
    const double peakNits = std::clamp(sourcePeakNits, kReferenceWhiteNits, kPqPeakNits);
    m_sourcePeakSignal = nitsToPqSignal(peakNits);
    m_targetSignal = nitsToPqSignal(kReferenceWhiteNits) / m_sourcePeakSignal;
    // BT.2390's knee start, on signals normalised to the source peak; 1 when nothing is over.
    m_kneeSignal = 1.5 * m_targetSignal - 0.5;
    m_knee = pqSignalToNits(m_kneeSignal * m_sourcePeakSignal) / kReferenceWhiteNits;
    m_peak = peakNits / kReferenceWhiteNits;
}

double HighlightRollOff::operator()(double light) const
{
    if (light <= m_knee)
        return light;
    if (light >= m_peak)
        return 1.0;
    const double signal = nitsToPqSignal(light * kReferenceWhiteNits) / m_sourcePeakSignal;
    const double t = (signal - m_kneeSignal) / (1.0 - m_kneeSignal);
    const double t2 = t * t;
    const double t3 = t2 * t;
    const double spline = (2 * t3 - 3 * t2 + 1) * m_kneeSignal +
                          (t3 - 2 * t2 + t) * (1.0 - m_kneeSignal) +
                          (-2 * t3 + 3 * t2) * m_targetSignal;
    const double shown = pqSignalToNits(spline * m_sourcePeakSignal) / kReferenceWhiteNits;
    return std::min(shown, 1.0);
}

} // namespace kavelora::decoder
