// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/common/hdr_to_sdr.h"

#include "decoder/common/hdr_transfer.h"
#include "decoder/common/highlight_roll_off.h"

#include <algorithm>
#include <cmath>

namespace kavelora::decoder {

namespace {

constexpr int kTableSteps = 65535;
constexpr int kRollOffSteps = 4095;

// BT.709's luminance weights: the shown colours are BT.709's.
constexpr float kRedWeight = 0.2126f;
constexpr float kGreenWeight = 0.7152f;
constexpr float kBlueWeight = 0.0722f;

// A light level the file states, or 0 where it says none or says nonsense.
double statedNits(float nits)
{
    return std::isfinite(nits) && nits > 0 ? static_cast<double>(nits) : 0.0;
}

double hlgDisplayPeak(const CodecColour& colour)
{
    const double mastering = statedNits(colour.masteringPeak);
    return mastering > 0 ? std::clamp(mastering, 100.0, kPqPeakNits) : kHlgNominalPeakNits;
}

// The brightest light the picture may hold: its content light level, else its mastering
// display's peak, else the most its signal can carry.
double sourcePeak(const CodecColour& colour)
{
    const double content = statedNits(colour.maxContentLight);
    const double mastering = statedNits(colour.masteringPeak);
    const double signalPeak =
        colour.transfer == kTransferHlg ? hlgDisplayPeak(colour) : kPqPeakNits;
    const double stated = content > 0 ? content : mastering > 0 ? mastering : signalPeak;
    return std::min(stated, signalPeak);
}

std::vector<float> builtSignalTable(int transfer, int bitsPerSample)
{
    const int largest = (1 << bitsPerSample) - 1;
    std::vector<float> table(static_cast<size_t>(largest) + 1);
    for (int value = 0; value <= largest; ++value) {
        const double signal = static_cast<double>(value) / largest;
        table[static_cast<size_t>(value)] = static_cast<float>(
            transfer == kTransferHlg ? hlgSignalToSceneLight(signal)
                                     : pqSignalToNits(signal) / kReferenceWhiteNits);
    }
    return table;
}

// BT.2100's OOTF Fd = Lw * Ys^(gamma - 1) * E as a gain on scene light, relative to
// reference white.
std::vector<float> hlgGainTable(double peakNits)
{
    const double exponent = hlgSystemGamma(peakNits) - 1.0;
    std::vector<float> table(kTableSteps + 1);
    for (int step = 0; step <= kTableSteps; ++step)
        table[static_cast<size_t>(step)] =
            static_cast<float>(peakNits / kReferenceWhiteNits *
                               std::pow(static_cast<double>(step) / kTableSteps, exponent));
    return table;
}

// The tables that depend on nothing the file says are built once, by the first picture
// that needs them.
const std::vector<float>& signalTable(int transfer, int bitsPerSample)
{
    if (transfer == kTransferHlg) {
        if (bitsPerSample > 8) {
            static const std::vector<float> hlgWide = builtSignalTable(kTransferHlg, 16);
            return hlgWide;
        }
        static const std::vector<float> hlgNarrow = builtSignalTable(kTransferHlg, 8);
        return hlgNarrow;
    }
    if (bitsPerSample > 8) {
        static const std::vector<float> pqWide = builtSignalTable(kTransferPq, 16);
        return pqWide;
    }
    static const std::vector<float> pqNarrow = builtSignalTable(kTransferPq, 8);
    return pqNarrow;
}

std::vector<uchar> builtSrgbTable()
{
    std::vector<uchar> table(kTableSteps + 1);
    for (int step = 0; step <= kTableSteps; ++step) {
        const double light = static_cast<double>(step) / kTableSteps;
        const double encoded =
            light <= 0.0031308 ? 12.92 * light : 1.055 * std::pow(light, 1.0 / 2.4) - 0.055;
        table[static_cast<size_t>(step)] = static_cast<uchar>(std::lround(255.0 * encoded));
    }
    return table;
}

const std::vector<uchar>& srgbTable()
{
    static const std::vector<uchar> table = builtSrgbTable();
    return table;
}

int tableIndex(float value)
{
    return static_cast<int>(std::clamp(value, 0.0f, 1.0f) * kTableSteps + 0.5f);
}

uchar narrowedAlpha(uchar alpha)
{
    return alpha;
}

uchar narrowedAlpha(quint16 alpha)
{
    return static_cast<uchar>((alpha * 255u + 32767u) / 65535u);
}

} // namespace

bool isHdr(const CodecColour& colour)
{
    return colour.iccProfile.isEmpty() &&
           (colour.transfer == kTransferPq || colour.transfer == kTransferHlg);
}

HdrToSdr::HdrToSdr(const CodecColour& colour, int channels, int bitsPerSample)
    : m_channels(channels)
    , m_hlg(colour.transfer == kTransferHlg)
    , m_needsMatrix(!isBt709(colourPrimariesOf(colour.primaries)))
    , m_toBt709(matrixToBt709(colourPrimariesOf(colour.primaries)))
    , m_luminance(luminanceWeights(colourPrimariesOf(colour.primaries)))
    , m_signalToLight(signalTable(colour.transfer, bitsPerSample))
    , m_srgb(srgbTable())
{
    if (m_hlg)
        m_hlgGain = hlgGainTable(hlgDisplayPeak(colour));
    const HighlightRollOff rollOff(sourcePeak(colour));
    m_knee = static_cast<float>(rollOff.knee());
    m_peak = static_cast<float>(rollOff.peak());
    m_rollOffStepsPerLight =
        static_cast<float>(kRollOffSteps / std::max(rollOff.peak() - rollOff.knee(), 1e-6));
    m_rollOffGain.resize(kRollOffSteps + 1);
    for (int step = 0; step <= kRollOffSteps; ++step) {
        const double light = rollOff.knee() + step / static_cast<double>(m_rollOffStepsPerLight);
        m_rollOffGain[static_cast<size_t>(step)] = static_cast<float>(rollOff(light) / light);
    }
}

float HdrToSdr::rollOffGain(float light) const
{
    if (light >= m_peak)
        return 1.0f / light;
    const float position = (light - m_knee) * m_rollOffStepsPerLight;
    const int below = std::min(static_cast<int>(position), kRollOffSteps - 1);
    const float fraction = position - static_cast<float>(below);
    const auto index = static_cast<size_t>(below);
    return m_rollOffGain[index] + fraction * (m_rollOffGain[index + 1] - m_rollOffGain[index]);
}

QRgb HdrToSdr::shown(float red, float green, float blue, uchar alpha) const
{
    if (m_hlg) {
        const float scene = m_luminance[0] * red + m_luminance[1] * green + m_luminance[2] * blue;
        const float gain = m_hlgGain[static_cast<size_t>(tableIndex(scene))];
        red *= gain;
        green *= gain;
        blue *= gain;
    }
    if (m_needsMatrix) {
        const ColourMatrix& m = m_toBt709;
        const float r = m[0][0] * red + m[0][1] * green + m[0][2] * blue;
        const float g = m[1][0] * red + m[1][1] * green + m[1][2] * blue;
        const float b = m[2][0] * red + m[2][1] * green + m[2][2] * blue;
        red = r;
        green = g;
        blue = b;
    }
    // Out of BT.709's gamut: mix with the grey of the same luminance just enough to lose the
    // negative part; the mix keeps the colour's dominant wavelength, so its hue holds.
    const float lowest = std::min(red, std::min(green, blue));
    if (lowest < 0) {
        const float luminance =
            std::max(kRedWeight * red + kGreenWeight * green + kBlueWeight * blue, 0.0f);
        const float keep = luminance > 0 ? luminance / (luminance - lowest) : 0.0f;
        red = std::max(luminance + keep * (red - luminance), 0.0f);
        green = std::max(luminance + keep * (green - luminance), 0.0f);
        blue = std::max(luminance + keep * (blue - luminance), 0.0f);
    }
    // Scaling all three by the roll-off of the largest keeps their ratios, and so the hue, and
    // never takes a channel past white; a curve on luminance would clip bright saturated ones.
    const float highest = std::max(red, std::max(green, blue));
    if (highest > m_knee) {
        const float scale = rollOffGain(highest);
        red *= scale;
        green *= scale;
        blue *= scale;
    }
    return qRgba(m_srgb[static_cast<size_t>(tableIndex(red))],
                 m_srgb[static_cast<size_t>(tableIndex(green))],
                 m_srgb[static_cast<size_t>(tableIndex(blue))], alpha);
}

template<typename Sample>
void HdrToSdr::convertRow(const Sample* samples, QRgb* out, int width) const
{
    const bool grey = m_channels <= 2;
    const bool alpha = m_channels % 2 == 0;
    for (int x = 0; x < width; ++x, samples += m_channels) {
        const float red = m_signalToLight[samples[0]];
        const float green = grey ? red : m_signalToLight[samples[1]];
        const float blue = grey ? red : m_signalToLight[samples[2]];
        out[x] =
            shown(red, green, blue, alpha ? narrowedAlpha(samples[m_channels - 1]) : uchar{255});
    }
}

void HdrToSdr::convert(const uchar* samples, QRgb* out, int width) const
{
    if (m_signalToLight.size() > 256)
        convertRow(reinterpret_cast<const quint16*>(samples), out, width);
    else
        convertRow(samples, out, width);
}

} // namespace kavelora::decoder
