// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/heif/heif_format.h"

#include "decoder/common/codec_samples.h"
#include "decoder/common/iso_media_brands.h"
#include "decoder/formats/heif/heif_reader.h"
#include "decoder/formats/heif/hevc_decoder.h"

#include <array>

namespace kavelora::decoder {

namespace {

constexpr std::array<std::string_view, 2> kMimeTypes = {"image/heif", "image/heic"};
constexpr std::array<std::string_view, 2> kPatterns = {"*.heic", "*.heif"};

// An AVIF is also a HEIF (mif1); its own brands make it one.
bool isHeif(QByteArrayView head)
{
    return !hasIsoMediaBrand(head, {"avif", "avis"}) &&
           hasIsoMediaBrand(head, {"heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs",
                                   "mif1", "msf1"});
}

} // namespace

extern const PictureFormat kHeifFormat{
    .name = "heif",
    .title = "HEIC/HEIF",
    .mimeTypes = kMimeTypes,
    .namePatterns = kPatterns,
    .sniff = isHeif,
    .loadBeforeLock =
        [] {
            // libde265 builds its tables at initialisation.
            heif::initialiseHevcDecoding();
            prepareColourConversion();
        },
    // Items' data may lie anywhere in the file, in any order: the reader takes it whole.
    .read = [](PictureStream& source, const ReadRequest& request) -> std::optional<DecodedPicture> {
        return readHeif(source.readAll(), request);
    },
};

} // namespace kavelora::decoder
