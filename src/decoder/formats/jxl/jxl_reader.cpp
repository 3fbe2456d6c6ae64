// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/jxl/jxl_reader.h"

#include "decoder/common/area_reducer.h"
#include "decoder/common/codec_decode_fits.h"
#include "decoder/common/codec_memory_budget.h"
#include "decoder/common/codec_samples.h"
#include "decoder/common/decoder_threads.h"
#include "decoder/common/piece_reducer.h"
#include "decoder/formats/jxl/jxl_piece_sink.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <jxl/thread_parallel_runner_cxx.h>

#include <memory>
#include <new>

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

// libjxl has no limits of its own: it allocates through the budget.
JxlMemoryManager managerOf(CodecMemoryBudget& budget)
{
    return {&budget,
            [](void* opaque, size_t bytes) {
                return static_cast<CodecMemoryBudget*>(opaque)->allocate(bytes);
            },
            [](void* opaque, void* address) {
                static_cast<CodecMemoryBudget*>(opaque)->release(address);
            }};
}

bool isHdrEncoding(const JxlColorEncoding& encoding)
{
    return encoding.transfer_function == JXL_TRANSFER_FUNCTION_PQ ||
           encoding.transfer_function == JXL_TRANSFER_FUNCTION_HLG;
}

// The primaries code point of an encoding, or 0 for primaries code points cannot name.
int primariesCodeOf(const JxlColorEncoding& encoding)
{
    if (encoding.color_space == JXL_COLOR_SPACE_GRAY)
        return 1;
    if (encoding.white_point == JXL_WHITE_POINT_DCI && encoding.primaries == JXL_PRIMARIES_P3)
        return 11;
    if (encoding.white_point != JXL_WHITE_POINT_D65)
        return 0;
    switch (encoding.primaries) {
    case JXL_PRIMARIES_SRGB:
        return 1;
    case JXL_PRIMARIES_2100:
        return 9;
    case JXL_PRIMARIES_P3:
        return 12;
    default:
        return 0;
    }
}

// A PQ or HLG picture by code points, so that it is tone-mapped for the screen: the ICC profile
// libjxl would make of it renders the signal's peak, not reference white, as white. Its
// intensity target bounds its light: for PQ the brightest the content gets, for HLG the peak
// of the display the signal is meant for.
CodecColour hdrColourOf(JxlDecoder& decoder, const JxlColorEncoding& encoding, int primaries)
{
    CodecColour colour;
    colour.primaries = primaries;
    colour.transfer = static_cast<int>(encoding.transfer_function);
    JxlBasicInfo info;
    if (JxlDecoderGetBasicInfo(&decoder, &info) == JXL_DEC_SUCCESS) {
        if (encoding.transfer_function == JXL_TRANSFER_FUNCTION_PQ)
            colour.maxContentLight = info.intensity_target;
        else
            colour.masteringPeak = info.intensity_target;
    }
    return colour;
}

CodecColour colourOf(JxlDecoder& decoder)
{
    CodecColour colour;
    JxlColorEncoding encoding{};
    if (JxlDecoderGetColorAsEncodedProfile(&decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                           &encoding) == JXL_DEC_SUCCESS) {
        if (encoding.primaries == JXL_PRIMARIES_SRGB &&
            encoding.white_point == JXL_WHITE_POINT_D65 &&
            encoding.transfer_function == JXL_TRANSFER_FUNCTION_SRGB)
            return colour;
        if (const int primaries = primariesCodeOf(encoding);
            isHdrEncoding(encoding) && primaries != 0)
            return hdrColourOf(decoder, encoding, primaries);
    }
    size_t iccBytes = 0;
    if (JxlDecoderGetICCProfileSize(&decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &iccBytes) !=
        JXL_DEC_SUCCESS)
        return colour;
    colour.iccProfile.resize(static_cast<qsizetype>(iccBytes));
    if (JxlDecoderGetColorAsICCProfile(&decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                       reinterpret_cast<uint8_t*>(colour.iccProfile.data()),
                                       iccBytes) != JXL_DEC_SUCCESS)
        colour.iccProfile.clear();
    return colour;
}

class JxlDecode
{
public:
    JxlDecode(const QByteArray& bytes, const ReadRequest& request)
        : m_request(request)
        , m_runner(JxlThreadParallelRunnerMake(nullptr, std::size_t{kDecoderThreads}))
    {
        const JxlMemoryManager manager = managerOf(m_memory);
        m_decoder = JxlDecoderMake(&manager);
        if (!m_decoder || !m_runner)
            throw RuntimeError(ErrorNumber::OutOfMemory);
        JxlDecoder* decoder = m_decoder.get();
        if (JxlDecoderSubscribeEvents(decoder, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                                   JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
            JxlDecoderSetParallelRunner(decoder, JxlThreadParallelRunner, m_runner.get()) !=
                JXL_DEC_SUCCESS ||
            JxlDecoderSetUnpremultiplyAlpha(decoder, JXL_TRUE) != JXL_DEC_SUCCESS ||
            JxlDecoderSetInput(decoder, reinterpret_cast<const uint8_t*>(bytes.constData()),
                               static_cast<size_t>(bytes.size())) != JXL_DEC_SUCCESS)
            throw RuntimeError(ErrorNumber::InvalidPicture);
        JxlDecoderCloseInput(decoder);
    }

    DecodedPicture run()
    {
        for (;;) {
            switch (JxlDecoderProcessInput(m_decoder.get())) {
            case JXL_DEC_BASIC_INFO:
                readBasicInfo();
                if (isHeldAlready())
                    return {QImage(), m_size};
                break;
            case JXL_DEC_COLOR_ENCODING:
                m_colour = preferSrgb();
                break;
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
                provideSink();
                break;
            case JXL_DEC_FULL_IMAGE:
                // The lent buffer may hold an earlier picture's pixels where none came.
                if (!m_reducer || !m_reducer->complete())
                    throw RuntimeError(ErrorNumber::InvalidPicture);
                return {std::move(m_image), m_size};
            default:
                // Errors, input cut short, or the end before any picture.
                throw RuntimeError(m_memory.exhausted() ? ErrorNumber::OutOfMemory
                                                        : ErrorNumber::InvalidPicture);
            }
        }
    }

private:
    void readBasicInfo()
    {
        JxlBasicInfo info;
        if (JxlDecoderGetBasicInfo(m_decoder.get(), &info) != JXL_DEC_SUCCESS)
            throw RuntimeError(ErrorNumber::InvalidPicture);
        const bool alpha = info.alpha_bits > 0;
        const int bits = static_cast<int>(info.bits_per_sample);
        if (!codecDecodeFits(info.xsize, info.ysize, bits, alpha))
            throw RuntimeError(ErrorNumber::OutOfMemory);
        m_channels = static_cast<int>(info.num_color_channels) + (alpha ? 1 : 0);
        m_format = {static_cast<uint32_t>(m_channels), bits > 8 ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8,
                    JXL_NATIVE_ENDIAN, 0};
        // libjxl turns the picture itself and gives its turned sides (and orientation 1).
        m_size = QSize(static_cast<int>(info.xsize), static_cast<int>(info.ysize));
        m_isGrey = info.num_color_channels == 1;
        m_factor = areaReductionFactor(m_size, m_request.cover);
    }

    // Neither the reduced copy nor the whole picture is decoded again when it is held already.
    bool isHeldAlready() const
    {
        const QSize held = m_request.held;
        return held.isValid() && (held == reducedSize(m_size, m_factor) || held == m_size);
    }

    // Lossy pictures are kept in an absolute space libjxl renders into sRGB itself; PQ and HLG
    // ones are asked for in their own encoding instead, since libjxl's rendering would put
    // their peak, not reference white, at white.
    CodecColour preferSrgb()
    {
        JxlColorEncoding original{};
        if (JxlDecoderGetColorAsEncodedProfile(m_decoder.get(), nullptr,
                                               JXL_COLOR_PROFILE_TARGET_ORIGINAL,
                                               &original) == JXL_DEC_SUCCESS &&
            isHdrEncoding(original) && primariesCodeOf(original) != 0) {
            JxlDecoderSetPreferredColorProfile(m_decoder.get(), &original);
            return colourOf(*m_decoder);
        }
        JxlColorEncoding srgb{};
        srgb.color_space = m_isGrey ? JXL_COLOR_SPACE_GRAY : JXL_COLOR_SPACE_RGB;
        srgb.white_point = JXL_WHITE_POINT_D65;
        srgb.primaries = JXL_PRIMARIES_SRGB;
        srgb.transfer_function = JXL_TRANSFER_FUNCTION_SRGB;
        srgb.rendering_intent = JXL_RENDERING_INTENT_RELATIVE;
        JxlDecoderSetPreferredColorProfile(m_decoder.get(), &srgb);
        return colourOf(*m_decoder);
    }

    // The copy is allocated at its reduced size, and libjxl's pieces go straight into it:
    // no picture of the whole size is ever held outside libjxl.
    void provideSink()
    {
        const bool alpha = m_channels % 2 == 0;
        const QImage::Format format = !alpha         ? QImage::Format_RGB32
                                      : m_factor > 1 ? QImage::Format_ARGB32_Premultiplied
                                                     : QImage::Format_ARGB32;
        m_image = m_request.allocate(reducedSize(m_size, m_factor), format);
        if (m_image.isNull())
            throw RuntimeError(ErrorNumber::OutOfMemory);
        const int bits = m_format.data_type == JXL_TYPE_UINT16 ? 16 : 8;
        m_rows = std::make_unique<SrgbRows>(m_colour, m_channels, bits);
        m_reducer = std::make_unique<PieceReducer>(m_image, m_size, m_factor);
        m_sink = std::make_unique<JxlPieceSink>(*m_rows, *m_reducer, m_channels, bits);
        JxlPixelFormat floats = m_format;
        floats.data_type = JXL_TYPE_FLOAT;
        if (JxlDecoderSetMultithreadedImageOutCallback(
                m_decoder.get(), &floats, &JxlPieceSink::init, &JxlPieceSink::run,
                &JxlPieceSink::destroy, m_sink.get()) != JXL_DEC_SUCCESS)
            throw RuntimeError(ErrorNumber::InvalidPicture);
    }

    const ReadRequest& m_request;
    CodecMemoryBudget m_memory;
    JxlThreadParallelRunnerPtr m_runner;
    JxlDecoderPtr m_decoder;
    JxlPixelFormat m_format{};
    CodecColour m_colour;
    QImage m_image;
    std::unique_ptr<SrgbRows> m_rows;
    std::unique_ptr<PieceReducer> m_reducer;
    std::unique_ptr<JxlPieceSink> m_sink;
    QSize m_size;
    int m_factor = 1;
    int m_channels = 3;
    bool m_isGrey = false;
};

} // namespace

DecodedPicture readJxl(const QByteArray& bytes, const ReadRequest& request)
{
    try {
        return JxlDecode(bytes, request).run();
    } catch (const std::bad_alloc&) {
        throw RuntimeError(ErrorNumber::OutOfMemory);
    }
}

} // namespace kavelora::decoder
