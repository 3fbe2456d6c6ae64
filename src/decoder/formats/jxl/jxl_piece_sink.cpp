// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/jxl/jxl_piece_sink.h"

#include <new>

namespace kavelora::decoder {

namespace {

// A broken file may decode to values outside 0 to 1, or to NaN, which no cast may meet.
float clamped(float value)
{
    return value > 0.0f ? (value < 1.0f ? value : 1.0f) : 0.0f;
}

template<typename Sample>
void rounded(const float* in, std::size_t count, float largest, Sample* out)
{
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<Sample>(clamped(in[i]) * largest + 0.5f);
}

} // namespace

JxlPieceSink::JxlPieceSink(const SrgbRows& rows, PieceReducer& reducer, int channels,
                           int bitsPerSample)
    : m_rows(rows)
    , m_reducer(reducer)
    , m_channels(channels)
    , m_bitsPerSample(bitsPerSample)
{}

void* JxlPieceSink::init(void* opaque, std::size_t threads, std::size_t pixelsPerThread)
{
    auto* sink = static_cast<JxlPieceSink*>(opaque);
    const std::size_t sampleBytes = pixelsPerThread * static_cast<std::size_t>(sink->m_channels) *
                                    (sink->m_bitsPerSample > 8 ? 2 : 1);
    try {
        sink->m_scratch.assign(
            threads, {std::vector<uchar>(sampleBytes), std::vector<QRgb>(pixelsPerThread)});
    } catch (const std::bad_alloc&) {
        // No exception may cross libjxl; it fails the decode when its sink cannot start.
        return nullptr;
    }
    return sink;
}

void JxlPieceSink::run(void* opaque, std::size_t thread, std::size_t x, std::size_t y,
                       std::size_t pixels, const void* floats)
{
    auto* sink = static_cast<JxlPieceSink*>(opaque);
    Scratch& scratch = sink->m_scratch[thread];
    const std::size_t count = pixels * static_cast<std::size_t>(sink->m_channels);
    const auto* in = static_cast<const float*>(floats);
    if (sink->m_bitsPerSample > 8)
        rounded(in, count, 65535.0f, reinterpret_cast<quint16*>(scratch.samples.data()));
    else
        rounded(in, count, 255.0f, scratch.samples.data());
    const auto width = static_cast<int>(pixels);
    sink->m_rows.convert(scratch.samples.data(), scratch.words.data(), width);
    sink->m_reducer.addPiece(static_cast<int>(x), static_cast<int>(y), scratch.words.data(), width);
}

} // namespace kavelora::decoder
