// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/avif/avif_reader.h"

#include "decoder/common/codec_decode_fits.h"
#include "decoder/common/codec_samples.h"
#include "decoder/common/decoder_threads.h"
#include "decoder/common/hdr_transfer.h"
#include "decoder/common/iso_media_light_levels.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <avif/avif.h>

#include <QTransform>

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

struct RgbPixelsDeleter
{
    void operator()(avifRGBImage* rgb) const { avifRGBImageFreePixels(rgb); }
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

// An 8-bit sRGB picture converts straight into the picture's own words, saving a copy.
QImage convertInPlace(avifImage& image, bool alpha, const PixelAllocator& allocate)
{
    QImage picture = allocate(QSize(static_cast<int>(image.width), static_cast<int>(image.height)),
                              alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (picture.isNull())
        throw RuntimeError(ErrorNumber::OutOfMemory);
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, &image);
    rgb.format = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_ARGB;
    rgb.depth = 8;
    rgb.pixels = picture.bits();
    rgb.rowBytes = static_cast<uint32_t>(picture.bytesPerLine());
    raiseIfFailed(avifImageYUVToRGB(&image, &rgb));
    return picture;
}

// Deeper or other-coloured samples go through 16 bits, rounded once on the way to 8.
QImage convertThroughSamples(avifImage& image, bool alpha, const CodecColour& colour,
                             const PixelAllocator& allocate)
{
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, &image);
    rgb.format = alpha ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
    rgb.depth = image.depth > 8 ? 16 : 8;
    avifRGBImageAllocatePixels(&rgb);
    const std::unique_ptr<avifRGBImage, RgbPixelsDeleter> pixels(&rgb);
    if (!rgb.pixels)
        throw RuntimeError(ErrorNumber::OutOfMemory);
    raiseIfFailed(avifImageYUVToRGB(&image, &rgb));
    const QSize size(static_cast<int>(rgb.width), static_cast<int>(rgb.height));
    return srgbImageFrom(
        {rgb.pixels, size, rgb.rowBytes, alpha ? 4 : 3, static_cast<int>(rgb.depth)}, colour,
        allocate);
}

// clap crops first (a clean aperture libavif cannot convert is ignored), then irot turns
// anticlockwise in quarter turns, then imir mirrors.
QImage oriented(QImage picture, const avifImage& image)
{
    avifCropRect crop;
    avifDiagnostics diagnostics;
    if ((image.transformFlags & AVIF_TRANSFORM_CLAP) &&
        avifCropRectConvertCleanApertureBox(&crop, &image.clap, image.width, image.height,
                                            image.yuvFormat, &diagnostics))
        picture = picture.copy(static_cast<int>(crop.x), static_cast<int>(crop.y),
                               static_cast<int>(crop.width), static_cast<int>(crop.height));
    if ((image.transformFlags & AVIF_TRANSFORM_IROT) && image.irot.angle % 4 != 0)
        picture = picture.transformed(QTransform().rotate(-90.0 * (image.irot.angle % 4)));
    if (image.transformFlags & AVIF_TRANSFORM_IMIR)
        picture = picture.mirrored(image.imir.mode == 1, image.imir.mode == 0);
    return picture;
}

} // namespace

DecodedPicture readAvif(const QByteArray& bytes, const PixelAllocator& allocate)
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
        raiseIfFailed(avifDecoderNextImage(decoder.get()));
        avifImage& image = *decoder->image;
        const CodecColour colour = colourOf(image, bytes);
        QImage picture = image.depth == 8 && isSrgb(colour)
                             ? convertInPlace(image, alpha, allocate)
                             : convertThroughSamples(image, alpha, colour, allocate);
        // libavif leaves cropping, turning and mirroring to its caller; Qt crops, turns and
        // mirrors into a new image, which the helper then copies into a lent buffer.
        picture = oriented(std::move(picture), image);
        const QSize ownSize = picture.size();
        return {std::move(picture), ownSize};
    } catch (const std::bad_alloc&) {
        throw RuntimeError(ErrorNumber::OutOfMemory);
    }
}

} // namespace kavelora::decoder
