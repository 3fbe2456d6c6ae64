// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/avif/avif_format.h"

#include "decoder/common/codec_samples.h"
#include "decoder/common/iso_media_brands.h"
#include "decoder/formats/avif/avif_reader.h"

#include <avif/avif.h>

#include <array>

namespace kavelora::decoder {

namespace {

constexpr std::array<std::string_view, 1> kMimeTypes = {"image/avif"};
constexpr std::array<std::string_view, 1> kPatterns = {"*.avif"};

} // namespace

extern const PictureFormat kAvifFormat{
    .name = "avif",
    .title = "AVIF",
    .mimeTypes = kMimeTypes,
    .namePatterns = kPatterns,
    .sniff =
        [](QByteArrayView head) {
            return hasIsoMediaBrand(head, {"avif", "avis"});
        },
    .loadBeforeLock =
        [] {
            // libavif loads nothing later; one decoder settles its one-time set-up (CPU feature
            // detection, tables).
            avifDecoderDestroy(avifDecoderCreate());
            prepareColourConversion();
        },
    // libavif reads from memory.
    .read = [](PictureStream& source, const ReadRequest& request) -> std::optional<DecodedPicture> {
        return readAvif(source.readAll(), request);
    },
};

} // namespace kavelora::decoder
