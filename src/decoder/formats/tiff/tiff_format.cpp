// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/tiff/tiff_format.h"

#include "decoder/common/qt_picture_reader.h"
#include "decoder/formats/tiff/tiff_reader.h"

#include <array>

namespace kavelora::decoder {

namespace {

constexpr std::array<std::string_view, 1> kMimeTypes = {"image/tiff"};
constexpr std::array<std::string_view, 2> kPatterns = {"*.tif", "*.tiff"};

std::optional<DecodedPicture> readTiffFile(PictureStream& source, const ReadRequest& request)
{
    return readOwnReduction(source.device(), "tiff", request, [&] {
        return readTiff(source.device(), request.cover, request.allocate);
    });
}

} // namespace

extern const PictureFormat kTiffFormat{
    .name = "tiff",
    .title = "TIFF",
    .mimeTypes = kMimeTypes,
    .namePatterns = kPatterns,
    .sniff =
        [](QByteArrayView head) {
            return head.startsWith(QByteArrayView("II*\0", 4)) ||
                   head.startsWith(QByteArrayView("MM\0*", 4));
        },
    .read = readTiffFile,
};

} // namespace kavelora::decoder
