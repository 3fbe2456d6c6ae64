// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/heif/heif_reader.h"

#include "decoder/common/codec_decode_fits.h"
#include "decoder/common/codec_samples.h"
#include "decoder/common/decoder_threads.h"
#include "decoder/formats/heif/heif_grid.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <libheif/heif.h>

#include <memory>
#include <mutex>
#include <new>
#include <optional>

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

struct HeifDeleter
{
    void operator()(heif_context* context) const { heif_context_free(context); }
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
    void operator()(heif_image* image) const { heif_image_release(image); }
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
template<typename T> using HeifPointer = std::unique_ptr<T, HeifDeleter>;

void raiseIfFailed(const heif_error& error)
{
    if (error.code == heif_error_Ok)
        return;
    const bool outOfMemory = error.code == heif_error_Memory_allocation_error ||
                             error.subcode == heif_suberror_Security_limit_exceeded;
    // libheif's own words are English and mean nothing to the user.
    throw RuntimeError(outOfMemory ? ErrorNumber::OutOfMemory : ErrorNumber::InvalidPicture);
}

CodecColour colourOf(const heif_image_handle& handle)
{
    CodecColour colour;
    if (const size_t iccBytes = heif_image_handle_get_raw_color_profile_size(&handle)) {
        colour.iccProfile.resize(static_cast<qsizetype>(iccBytes));
        if (heif_image_handle_get_raw_color_profile(&handle, colour.iccProfile.data()).code ==
            heif_error_Ok)
            return colour;
        colour.iccProfile.clear();
    }
    heif_color_profile_nclx* nclx = nullptr;
    const bool read =
        heif_image_handle_get_nclx_color_profile(&handle, &nclx).code == heif_error_Ok;
    if (read && nclx) {
        colour.primaries = nclx->color_primaries;
        colour.transfer = nclx->transfer_characteristics;
    }
    // libheif hands over the profile it made even when it reports primaries it does not know.
    heif_nclx_color_profile_free(nclx);
    return colour;
}

HeifPointer<heif_image> decode(const heif_image_handle& handle, bool wide, bool alpha)
{
    const heif_chroma chroma =
        wide ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
             : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    // The defaults apply the picture's crop, rotation and mirroring.
    const HeifPointer<heif_decoding_options> options(heif_decoding_options_alloc());
    heif_image* image = nullptr;
    raiseIfFailed(heif_decode_image(&handle, &image, heif_colorspace_RGB, chroma, options.get()));
    return HeifPointer<heif_image>(image);
}

QImage srgbImageOf(heif_image& image, bool alpha, const CodecColour& colour,
                   const PixelAllocator& allocate)
{
    int bytesPerLine = 0;
    uchar* samples = heif_image_get_plane(&image, heif_channel_interleaved, &bytesPerLine);
    const QSize size(heif_image_get_width(&image, heif_channel_interleaved),
                     heif_image_get_height(&image, heif_channel_interleaved));
    if (!samples || size.isEmpty())
        throw RuntimeError(ErrorNumber::InvalidPicture);
    const int bits = heif_image_get_bits_per_pixel_range(&image, heif_channel_interleaved);
    const int channels = alpha ? 4 : 3;
    if (bits > 8) {
        for (int y = 0; y < size.height(); ++y) {
            auto* row = reinterpret_cast<quint16*>(samples + qsizetype{y} * bytesPerLine);
            for (int i = 0; i < size.width() * channels; ++i)
                row[i] = widenedSample(row[i], bits);
        }
    }
    return srgbImageFrom({samples, size, bytesPerLine, channels, bits > 8 ? 16 : 8}, colour,
                         allocate);
}

} // namespace

void initialiseHeifDecoders()
{
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

DecodedPicture readHeif(const QByteArray& bytes, const PixelAllocator& allocate)
{
    initialiseHeifDecoders();
    try {
        const HeifPointer<heif_context> context(heif_context_alloc());
        heif_context_set_maximum_image_size_limit(context.get(), protocol::kMaxCodecSidePixels);
        heif_context_set_max_decoding_threads(context.get(), kDecoderThreads);
        raiseIfFailed(heif_context_read_from_memory_without_copy(
            context.get(), bytes.constData(), static_cast<size_t>(bytes.size()), nullptr));
        heif_image_handle* primary = nullptr;
        raiseIfFailed(heif_context_get_primary_image_handle(context.get(), &primary));
        const HeifPointer<heif_image_handle> handle(primary);

        const bool alpha = heif_image_handle_has_alpha_channel(primary) != 0;
        const int bits = heif_image_handle_get_luma_bits_per_pixel(primary);
        const std::optional<QSize> grid = heifGridSize(bytes);
        if (grid && grid->isEmpty())
            throw RuntimeError(ErrorNumber::InvalidPicture);
        if (!codecDecodeFits(heif_image_handle_get_ispe_width(primary),
                             heif_image_handle_get_ispe_height(primary), bits, alpha) ||
            (grid && !codecDecodeFits(grid->width(), grid->height(), bits, alpha)))
            throw RuntimeError(ErrorNumber::OutOfMemory);
        const HeifPointer<heif_image> image = decode(*primary, bits > 8, alpha);
        // What libheif decoded, should it ever differ from what it was let decode.
        if (!codecDecodeFits(heif_image_get_primary_width(image.get()),
                             heif_image_get_primary_height(image.get()), bits, alpha))
            throw RuntimeError(ErrorNumber::OutOfMemory);
        QImage picture = srgbImageOf(*image, alpha, colourOf(*primary), allocate);
        const QSize ownSize = picture.size();
        return {std::move(picture), ownSize};
    } catch (const std::bad_alloc&) {
        throw RuntimeError(ErrorNumber::OutOfMemory);
    }
}

} // namespace kavelora::decoder
