// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/avif/avif_reader.h"

#include "decoder/common/area_reducer.h"
#include "decoder/common/codec_decode_fits.h"
#include "decoder/common/codec_samples.h"
#include "decoder/common/decoder_threads.h"
#include "decoder/common/hdr_transfer.h"
#include "decoder/common/iso_media_light_levels.h"
#include "decoder/formats/avif/avif_shown_geometry.h"
#include "decoder/formats/avif/avif_strips.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <avif/avif.h>

#include <memory>
#include <new>

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

struct DecoderDeleter
{
    void operator()(avifDecoder* decoder) const { avifDecoderDestroy(decoder); }
};

void raiseIfFailed(avifResult result)
{
    if (result == AVIF_RESULT_OK)
        return;
    // libavif's own words are English and mean nothing to the user.
    throw RuntimeError(result == AVIF_RESULT_OUT_OF_MEMORY ? ErrorNumber::OutOfMemory
                                                           : ErrorNumber::InvalidPicture);
}

// libavif 0.11 reads neither clli nor mdcv: a PQ or HLG picture's light levels are read from
// the container here.
CodecColour colourOf(const avifImage& image, const QByteArray& file)
{
    CodecColour colour;
    if (image.icc.size > 0)
        colour.iccProfile = QByteArray(reinterpret_cast<const char*>(image.icc.data),
                                       static_cast<qsizetype>(image.icc.size));
    colour.primaries = image.colorPrimaries;
    colour.transfer = image.transferCharacteristics;
    if (colour.transfer == kTransferPq || colour.transfer == kTransferHlg) {
        const StatedLightLevels levels = statedLightLevels(file);
        colour.maxContentLight = levels.maxContentLight;
        colour.masteringPeak = levels.masteringPeak;
    }
    return colour;
}

} // namespace

DecodedPicture readAvif(const QByteArray& bytes, const ReadRequest& request)
{
    try {
        const std::unique_ptr<avifDecoder, DecoderDeleter> decoder(avifDecoderCreate());
        if (!decoder)
            throw RuntimeError(ErrorNumber::OutOfMemory);
        decoder->maxThreads = kDecoderThreads;
        // A backstop above the pixel cap, so that claims between the two are told apart as
        // too large rather than malformed.
        decoder->imageSizeLimit = static_cast<uint32_t>(4 * protocol::kMaxPicturePixels);
        decoder->imageDimensionLimit = protocol::kMaxCodecSidePixels;
        decoder->ignoreExif = AVIF_TRUE;
        decoder->ignoreXMP = AVIF_TRUE;
        raiseIfFailed(avifDecoderSetIOMemory(decoder.get(),
                                             reinterpret_cast<const uint8_t*>(bytes.constData()),
                                             static_cast<size_t>(bytes.size())));
        raiseIfFailed(avifDecoderParse(decoder.get()));
        const avifImage& header = *decoder->image;
        const bool alpha = decoder->alphaPresent != AVIF_FALSE;
        if (!codecDecodeFits(header.width, header.height, static_cast<int>(header.depth), alpha))
            throw RuntimeError(ErrorNumber::OutOfMemory);
        const QSize ownSize = AvifShownGeometry::of(header).shownSize;
        const int factor = areaReductionFactor(ownSize, request.cover);
        // Neither the reduced copy nor the whole picture is decoded again when it is held.
        if (request.held.isValid() &&
            (request.held == reducedSize(ownSize, factor) || request.held == ownSize))
            return {QImage(), ownSize};
        raiseIfFailed(avifDecoderNextImage(decoder.get()));
        const avifImage& image = *decoder->image;
        const AvifShownGeometry geometry = AvifShownGeometry::of(image);
        if (geometry.shownSize != ownSize)
            throw RuntimeError(ErrorNumber::InvalidPicture);
        QImage picture = shownAvifPicture(image, geometry, colourOf(image, bytes), alpha, factor,
                                          request.allocate);
        return {std::move(picture), ownSize};
    } catch (const std::bad_alloc&) {
        throw RuntimeError(ErrorNumber::OutOfMemory);
    }
}

} // namespace kavelora::decoder
