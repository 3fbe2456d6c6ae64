// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QRgb>
#include <QtGlobal>

#include <array>
#include <vector>

// HDR samples made from SDR colours by the standards' own formulas, written out here apart
// from the decoder's, so that a fault in either shows.
namespace kavelora::tests::hdr {

using Light = std::array<double, 3>;

inline constexpr double kReferenceWhiteNits = 203.0;
inline constexpr int kPq = 16;
inline constexpr int kHlg = 18;

// An sRGB level (0 to 255) as linear light (0 to 1), and back, rounded.
double linearOf(int srgbLevel);
int srgbLevelOf(double linear);

// Linear BT.709 light as linear BT.2020 light (BT.2087's matrix).
Light bt2020Of(const Light& bt709);

// The CIE 1931 hue angle, in degrees around D65, of linear BT.709 or of BT.2020 light.
double hueOfBt709(const Light& light);
double hueOfBt2020(const Light& light);

// The PQ signal (0 to 1) of light in cd/m².
double pqSignalOf(double nits);

// The HLG signals (0 to 1) of BT.2020 display light in cd/m², on a display of peakNits: the
// inverse of BT.2100's OOTF, then the OETF.
Light hlgSignalsOf(const Light& nits, double peakNits);

// RGB 16-bit samples of BT.2020 display light in cd/m², through transfer (kPq or kHlg; HLG on
// a 1000 cd/m² display).
std::array<quint16, 3> samplesOf(const Light& nits, int transfer);

// RGB 16-bit samples of each sRGB colour with its white placed at reference white.
std::vector<quint16> hdrSamplesOf(const std::vector<QRgb>& colours, int transfer);

} // namespace kavelora::tests::hdr
