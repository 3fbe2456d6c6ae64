// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/codec_samples.h"
#include "decoder/common/piece_reducer.h"

#include <QRgb>

#include <cstddef>
#include <vector>

namespace kavelora::decoder {

// Where libjxl's decoding threads hand their pieces of rows, as floats (0 to 1, channels
// interleaved). libjxl 0.7 streams float pieces from its pipeline but holds a float copy of
// the whole frame to hand out integer ones, so the sink rounds them itself: each piece to the
// picture's depth (8 bits, or 16 for deeper ones, as libjxl rounds), to sRGB words in its
// thread's own scratch, then into the reducer.
class JxlPieceSink
{
public:
    // channels and bitsPerSample as rows takes them; both must outlive the decode.
    JxlPieceSink(const SrgbRows& rows, PieceReducer& reducer, int channels, int bitsPerSample);

    // The callbacks JxlDecoderSetMultithreadedImageOutCallback takes, with this as opaque.
    static void* init(void* opaque, std::size_t threads, std::size_t pixelsPerThread);
    static void run(void* opaque, std::size_t thread, std::size_t x, std::size_t y,
                    std::size_t pixels, const void* floats);
    static void destroy(void*) {}

private:
    struct Scratch
    {
        std::vector<uchar> samples;
        std::vector<QRgb> words;
    };

    const SrgbRows& m_rows;
    PieceReducer& m_reducer;
    int m_channels;
    int m_bitsPerSample;
    std::vector<Scratch> m_scratch;
};

} // namespace kavelora::decoder
