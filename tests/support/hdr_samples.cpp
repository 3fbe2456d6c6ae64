// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "hdr_samples.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kavelora::tests::hdr {

namespace {

using Matrix = std::array<Light, 3>;

// BT.709 to BT.2020 (BT.2087) and each to XYZ (BT.709 and BT.2020's own tables).
constexpr Matrix kBt709ToBt2020{
    {{0.6274, 0.3293, 0.0433}, {0.0691, 0.9195, 0.0114}, {0.0164, 0.0880, 0.8956}}};
constexpr Matrix kBt709ToXyz{
    {{0.4124, 0.3576, 0.1805}, {0.2126, 0.7152, 0.0722}, {0.0193, 0.1192, 0.9505}}};
constexpr Matrix kBt2020ToXyz{
    {{0.6370, 0.1446, 0.1689}, {0.2627, 0.6780, 0.0593}, {0.0000, 0.0281, 1.0610}}};
constexpr double kD65X = 0.3127;
constexpr double kD65Y = 0.3290;

Light times(const Matrix& m, const Light& v)
{
    Light result{};
    for (size_t row = 0; row < 3; ++row)
        result[row] = m[row][0] * v[0] + m[row][1] * v[1] + m[row][2] * v[2];
    return result;
}

double hueOfXyz(const Light& xyz)
{
    const double sum = xyz[0] + xyz[1] + xyz[2];
    return std::atan2(xyz[1] / sum - kD65Y, xyz[0] / sum - kD65X) * 180.0 / std::numbers::pi;
}

double hlgOetf(double scene)
{
    constexpr double a = 0.17883277;
    constexpr double b = 0.28466892;
    constexpr double c = 0.55991073;
    return scene <= 1.0 / 12.0 ? std::sqrt(3.0 * scene) : a * std::log(12.0 * scene - b) + c;
}

quint16 sampleOf(double signal)
{
    return static_cast<quint16>(std::lround(std::clamp(signal, 0.0, 1.0) * 65535.0));
}

} // namespace

double linearOf(int srgbLevel)
{
    const double encoded = srgbLevel / 255.0;
    return encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4);
}

int srgbLevelOf(double linear)
{
    const double clamped = std::clamp(linear, 0.0, 1.0);
    const double encoded =
        clamped <= 0.0031308 ? 12.92 * clamped : 1.055 * std::pow(clamped, 1.0 / 2.4) - 0.055;
    return static_cast<int>(std::lround(255.0 * encoded));
}

Light bt2020Of(const Light& bt709)
{
    return times(kBt709ToBt2020, bt709);
}

double hueOfBt709(const Light& light)
{
    return hueOfXyz(times(kBt709ToXyz, light));
}

double hueOfBt2020(const Light& light)
{
    return hueOfXyz(times(kBt2020ToXyz, light));
}

double pqSignalOf(double nits)
{
    constexpr double m1 = 2610.0 / 16384.0;
    constexpr double m2 = 2523.0 / 4096.0 * 128.0;
    constexpr double c1 = 3424.0 / 4096.0;
    constexpr double c2 = 2413.0 / 4096.0 * 32.0;
    constexpr double c3 = 2392.0 / 4096.0 * 32.0;
    const double powered = std::pow(std::clamp(nits / 10000.0, 0.0, 1.0), m1);
    return std::pow((c1 + c2 * powered) / (1.0 + c3 * powered), m2);
}

Light hlgSignalsOf(const Light& nits, double peakNits)
{
    const double gamma = 1.2 + 0.42 * std::log10(peakNits / 1000.0);
    const Light display{nits[0] / peakNits, nits[1] / peakNits, nits[2] / peakNits};
    const double displayLuminance = times(kBt2020ToXyz, display)[1];
    if (displayLuminance <= 0)
        return {0, 0, 0};
    // Display luminance is scene luminance to the power gamma.
    const double sceneLuminance = std::pow(displayLuminance, 1.0 / gamma);
    const double gain = std::pow(sceneLuminance, gamma - 1.0);
    Light signals{};
    for (size_t channel = 0; channel < 3; ++channel)
        signals[channel] = hlgOetf(display[channel] / gain);
    return signals;
}

std::array<quint16, 3> samplesOf(const Light& nits, int transfer)
{
    if (transfer == kHlg) {
        const Light signals = hlgSignalsOf(nits, 1000.0);
        return {sampleOf(signals[0]), sampleOf(signals[1]), sampleOf(signals[2])};
    }
    return {sampleOf(pqSignalOf(nits[0])), sampleOf(pqSignalOf(nits[1])),
            sampleOf(pqSignalOf(nits[2]))};
}

std::vector<quint16> hdrSamplesOf(const std::vector<QRgb>& colours, int transfer)
{
    std::vector<quint16> samples;
    samples.reserve(colours.size() * 3);
    for (const QRgb colour : colours) {
        const Light wide =
            bt2020Of({linearOf(qRed(colour)), linearOf(qGreen(colour)), linearOf(qBlue(colour))});
        const std::array<quint16, 3> rgb =
            samplesOf({wide[0] * kReferenceWhiteNits, wide[1] * kReferenceWhiteNits,
                       wide[2] * kReferenceWhiteNits},
                      transfer);
        samples.insert(samples.end(), rgb.begin(), rgb.end());
    }
    return samples;
}

} // namespace kavelora::tests::hdr
