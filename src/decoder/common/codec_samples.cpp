// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/common/codec_samples.h"

#include "decoder/common/colour_primaries.h"
#include "decoder/common/hdr_to_sdr.h"

#include "platform/runtime_error.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <memory>

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

cmsCIExyY xyYOf(Chromaticity colour)
{
    return {colour.x, colour.y, 1.0};
}

// lcms parametric curve type 4: Y = (aX + b)^g above d, cX below; each decodes a transfer.
using CurveParameters = std::array<double, 5>;
constexpr CurveParameters kSrgbCurve{2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
constexpr CurveParameters kBt709Curve{1.0 / 0.45, 1.0 / 1.099, 0.099 / 1.099, 1.0 / 4.5, 0.081};
constexpr CurveParameters kGamma22{2.2, 1.0, 0.0, 0.0, 0.0};
constexpr CurveParameters kGamma28{2.8, 1.0, 0.0, 0.0, 0.0};
constexpr CurveParameters kLinear{1.0, 1.0, 0.0, 0.0, 0.0};

// The curve of a transfer code point; codes for which there is none here read as sRGB.
const CurveParameters& curveOf(int code)
{
    switch (code) {
    case 1:
    case 6:
    case 14:
    case 15:
        return kBt709Curve;
    case 4:
        return kGamma22;
    case 5:
        return kGamma28;
    case 8:
        return kLinear;
    default:
        return kSrgbCurve;
    }
}

struct ProfileCloser
{
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter
{
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using Transform = std::unique_ptr<void, TransformDeleter>;

Profile profileFromCodePoints(const CodecColour& colour, bool grey)
{
    const ColourPrimaries& primaries = colourPrimariesOf(colour.primaries);
    const cmsCIExyY white = xyYOf(primaries.white);
    const cmsCIExyYTRIPLE rgb{xyYOf(primaries.red), xyYOf(primaries.green), xyYOf(primaries.blue)};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, curveOf(colour.transfer).data());
    if (!curve)
        return {};
    Profile profile;
    if (grey) {
        profile.reset(cmsCreateGrayProfile(&white, curve));
    } else {
        std::array<cmsToneCurve*, 3> curves{curve, curve, curve};
        profile.reset(cmsCreateRGBProfile(&white, &rgb, curves.data()));
    }
    cmsFreeToneCurve(curve);
    return profile;
}

cmsUInt32Number lcmsFormat(const CodecSamples& samples)
{
    const cmsUInt32Number bytes = samples.bitsPerSample > 8 ? 2 : 1;
    switch (samples.channels) {
    case 1:
        return COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(bytes);
    case 2:
        return COLORSPACE_SH(PT_GRAY) | EXTRA_SH(1) | CHANNELS_SH(1) | BYTES_SH(bytes);
    case 3:
        return COLORSPACE_SH(PT_RGB) | CHANNELS_SH(3) | BYTES_SH(bytes);
    default:
        return COLORSPACE_SH(PT_RGB) | EXTRA_SH(1) | CHANNELS_SH(3) | BYTES_SH(bytes);
    }
}

// QImage's 32-bit formats hold one native-endian word per pixel.
constexpr cmsUInt32Number kImageWordFormat =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TYPE_BGRA_8 : TYPE_ARGB_8;

Transform transformToSrgb(const CodecSamples& samples, const CodecColour& colour)
{
    const bool grey = samples.channels <= 2;
    Profile source = colour.iccProfile.isEmpty()
                         ? profileFromCodePoints(colour, grey)
                         : Profile(cmsOpenProfileFromMem(
                               colour.iccProfile.constData(),
                               static_cast<cmsUInt32Number>(colour.iccProfile.size())));
    const Profile srgb(cmsCreate_sRGBProfile());
    if (!source || !srgb)
        return {};
    return Transform(cmsCreateTransform(source.get(), lcmsFormat(samples), srgb.get(),
                                        kImageWordFormat, INTENT_RELATIVE_COLORIMETRIC,
                                        cmsFLAGS_COPY_ALPHA | cmsFLAGS_NOCACHE));
}

uchar narrowed(const uchar* sample, bool wide)
{
    if (!wide)
        return *sample;
    const quint32 value = *reinterpret_cast<const quint16*>(sample);
    return static_cast<uchar>((value * 255u + 32767u) / 65535u);
}

void copySrgbRow(const uchar* in, QRgb* out, int width, int channels, bool wide)
{
    const int step = wide ? 2 : 1;
    const bool grey = channels <= 2;
    const bool alpha = channels % 2 == 0;
    for (int x = 0; x < width; ++x, in += channels * step) {
        const uchar red = narrowed(in, wide);
        const uchar green = grey ? red : narrowed(in + step, wide);
        const uchar blue = grey ? red : narrowed(in + 2 * step, wide);
        const uchar opacity = alpha ? narrowed(in + (channels - 1) * step, wide) : 255;
        out[x] = qRgba(red, green, blue, opacity);
    }
}

} // namespace

bool isSrgb(const CodecColour& colour)
{
    return colour.iccProfile.isEmpty() && isBt709(colourPrimariesOf(colour.primaries)) &&
           &curveOf(colour.transfer) == &kSrgbCurve;
}

SrgbRows::SrgbRows(const CodecColour& colour, int channels, int bitsPerSample)
    : m_channels(channels)
    , m_bitsPerSample(bitsPerSample)
{
    if (isHdr(colour))
        m_hdr = std::make_unique<const HdrToSdr>(colour, channels, bitsPerSample);
    else if (!isSrgb(colour))
        m_transform.reset(
            transformToSrgb({nullptr, {}, 0, channels, bitsPerSample}, colour).release());
}

SrgbRows::~SrgbRows() = default;

void SrgbRows::TransformDeleter::operator()(void* transform) const
{
    cmsDeleteTransform(transform);
}

void SrgbRows::convert(const uchar* samples, QRgb* out, int width) const
{
    if (m_hdr) {
        m_hdr->convert(samples, out, width);
        return;
    }
    if (!m_transform) {
        copySrgbRow(samples, out, width, m_channels, m_bitsPerSample > 8);
        return;
    }
    // The transform leaves alpha alone when the samples have none; the words need it opaque.
    if (m_channels % 2 != 0)
        std::fill(out, out + width, 0xFFFFFFFFu);
    cmsDoTransform(m_transform.get(), samples, out, static_cast<cmsUInt32Number>(width));
}

QImage srgbImageFrom(const CodecSamples& samples, const CodecColour& colour,
                     const PixelAllocator& allocate)
{
    const bool alpha = samples.channels % 2 == 0;
    QImage image = allocate(samples.size, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        throw RuntimeError(ErrorNumber::OutOfMemory);
    const SrgbRows rows(colour, samples.channels, samples.bitsPerSample);
    for (int y = 0; y < samples.size.height(); ++y)
        rows.convert(samples.data + y * samples.bytesPerLine,
                     reinterpret_cast<QRgb*>(image.scanLine(y)), samples.size.width());
    return image;
}

void prepareColourConversion()
{
    cmsCloseProfile(cmsCreate_sRGBProfile());
}

} // namespace kavelora::decoder
