// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/pixel_allocation.h"
#include <QByteArray>

#include <QImage>
#include <QSize>
#include <QtGlobal>

#include <memory>

namespace kavelora::decoder {

class HdrToSdr;

// Interleaved samples as a codec library decodes them, before they become an sRGB picture.
struct CodecSamples
{
    const uchar* data = nullptr;
    QSize size;
    qsizetype bytesPerLine = 0;
    // 1 grey, 2 grey and alpha, 3 RGB, 4 RGBA; alpha is not premultiplied.
    int channels = 3;
    // 8, or 16 for samples scaled to the whole range 0 to 65535.
    int bitsPerSample = 8;
};

// What the samples' numbers mean: an embedded ICC profile, or else coding-independent code
// points (primaries and transfer; 2, unspecified, reads as sRGB).
struct CodecColour
{
    QByteArray iccProfile;
    int primaries = 2;
    int transfer = 2;
    // The brightest light the content holds (its content light level) and the peak of the
    // display it was mastered on, in cd/m²; 0 where the file does not say. Only pictures with
    // a PQ or HLG transfer use them.
    float maxContentLight = 0;
    float masteringPeak = 0;
};

// Rows of codec samples turned into sRGB words (QRgb, alpha not premultiplied), one row at a
// time; PQ and HLG pictures without a profile are mapped to SDR by HdrToSdr. convert() may be
// called from several threads at once.
class SrgbRows
{
public:
    // channels and bitsPerSample as in CodecSamples.
    SrgbRows(const CodecColour& colour, int channels, int bitsPerSample);
    ~SrgbRows();
    SrgbRows(const SrgbRows&) = delete;
    SrgbRows& operator=(const SrgbRows&) = delete;

    void convert(const uchar* samples, QRgb* out, int width) const;

private:
    struct TransformDeleter
    {
        void operator()(void* transform) const;
    };

    int m_channels;
    int m_bitsPerSample;
    // The colour library's transform; null where the samples are sRGB already.
    std::unique_ptr<void, TransformDeleter> m_transform;
    std::unique_ptr<const HdrToSdr> m_hdr;
};

// Settles the colour library's one-time set-up, so that a process may lock itself down before
// it converts anything.
void prepareColourConversion();

// Whether a picture described so needs no conversion to be sRGB.
bool isSrgb(const CodecColour& colour);

// The samples as an sRGB picture, 8 bits per channel rounded: ARGB32 when they have alpha, else
// RGB32. A profile or code points this cannot read count as sRGB. Raises RuntimeError
// OutOfMemory when the picture cannot be allocated.
QImage srgbImageFrom(const CodecSamples& samples, const CodecColour& colour,
                     const PixelAllocator& allocate);

// A sample of bitsPerSample significant bits (9 to 16) scaled to the range 0 to 65535, rounded.
inline quint16 widenedSample(quint32 value, int bitsPerSample)
{
    const quint32 largest = (1u << bitsPerSample) - 1;
    return static_cast<quint16>((value * 65535u + largest / 2) / largest);
}

} // namespace kavelora::decoder
