// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

namespace kavelora::decoder {

// The luminance of HDR reference white (graphics white, BT.2408), shown as SDR white.
inline constexpr double kReferenceWhiteNits = 203.0;
// The brightest light a PQ signal can carry.
inline constexpr double kPqPeakNits = 10000.0;
// The display peak an HLG signal is shown on when the file names none (BT.2100's reference).
inline constexpr double kHlgNominalPeakNits = 1000.0;

// The transfer code points of HDR signals: PQ (SMPTE ST 2084) and HLG (ARIB STD-B67).
inline constexpr int kTransferPq = 16;
inline constexpr int kTransferHlg = 18;

// The light in cd/m² a PQ signal (0 to 1) stands for: the ST 2084 EOTF.
double pqSignalToNits(double signal);

// The PQ signal (0 to 1) of light in cd/m², clamped to 0 to 10000: the inverse EOTF.
double nitsToPqSignal(double nits);

// The relative scene light (0 to 1) an HLG signal (0 to 1) stands for: the inverse OETF.
double hlgSignalToSceneLight(double signal);

// The system gamma of HLG's OOTF for a display of peakNits (BT.2100: 1.2 at 1000 cd/m²), its
// formula held to the 400 to 2000 cd/m² it is given for.
double hlgSystemGamma(double peakNits);

} // namespace kavelora::decoder
