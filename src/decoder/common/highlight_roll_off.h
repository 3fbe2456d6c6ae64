// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

namespace kavelora::decoder {

// The BT.2390 EETF from a source peak down to SDR white, on light relative to reference white
// (1.0 = 203 cd/m²). It works on PQ signals as BT.2390 does: identity up to a knee, then a
// Hermite spline reaching SDR white at the source peak with a level tangent. Its knee is the
// highest at which that spline still rises everywhere.
class HighlightRollOff
{
public:
    // sourcePeakNits: the brightest light the picture holds; at or below reference white the
    // curve is the identity up to 1.0 (and flat at 1.0 above, for pictures brighter than said).
    explicit HighlightRollOff(double sourcePeakNits);

    // The relative light up to which the curve is the identity.
    double knee() const { return m_knee; }
    // The relative light from which the curve gives 1.0.
    double peak() const { return m_peak; }

    // The relative light shown for relative light (0 or more); never above 1.0.
    double operator()(double light) const;

private:
    double m_sourcePeakSignal;
    double m_targetSignal;
    double m_kneeSignal;
    double m_knee;
    double m_peak;
};

} // namespace kavelora::decoder
