// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/codec_samples.h"
#include "decoder/common/colour_primaries.h"

#include <QRgb>

#include <array>
#include <vector>

namespace kavelora::decoder {

// Whether a picture so described carries PQ or HLG signals, which HdrToSdr shows; a picture
// with an ICC profile is left to its profile.
bool isHdr(const CodecColour& colour);

// Rows of PQ or HLG samples shown on an SDR screen as sRGB words (alpha not premultiplied):
// the signals to light through a table over every sample value, HDR reference white to SDR
// white, the primaries to BT.709 with out-of-gamut colours desaturated toward their own
// luminance, highlights rolled off by HighlightRollOff on max(R, G, B), then the sRGB curve.
// convert() may be called from several threads at once.
class HdrToSdr
{
public:
    // colour must be isHdr; channels and bitsPerSample (8 or 16) as in CodecSamples.
    HdrToSdr(const CodecColour& colour, int channels, int bitsPerSample);

    void convert(const uchar* samples, QRgb* out, int width) const;

private:
    template<typename Sample> void convertRow(const Sample* samples, QRgb* out, int width) const;
    // Light relative to reference white, in the picture's primaries, to a shown sRGB word.
    QRgb shown(float red, float green, float blue, uchar alpha) const;
    // What the roll-off multiplies a light above the knee by.
    float rollOffGain(float light) const;

    int m_channels;
    bool m_hlg;
    bool m_needsMatrix;
    ColourMatrix m_toBt709;
    std::array<float, 3> m_luminance;
    // Per sample value: PQ's relative display light, or HLG's relative scene light.
    const std::vector<float>& m_signalToLight;
    // HLG only: per scene luminance in 65536 steps, the OOTF's gain to relative display light.
    std::vector<float> m_hlgGain;
    float m_knee;
    float m_peak;
    // rollOffGain in even steps of light from the knee to the peak.
    std::vector<float> m_rollOffGain;
    float m_rollOffStepsPerLight;
    // The sRGB curve on relative light 0 to 1 in 65536 steps.
    const std::vector<uchar>& m_srgb;
};

} // namespace kavelora::decoder
