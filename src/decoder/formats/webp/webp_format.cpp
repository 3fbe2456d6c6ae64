// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/webp/webp_format.h"

#include "decoder/common/qt_picture_reader.h"
#include "decoder/formats/webp/webp_reader.h"

#include <array>

namespace kavelora::decoder {

namespace {

constexpr std::array<std::string_view, 1> kMimeTypes = {"image/webp"};
constexpr std::array<std::string_view, 1> kPatterns = {"*.webp"};

// libwebp decodes from memory only.
std::optional<DecodedPicture> readWebpFile(PictureStream& source, const ReadRequest& request)
{
    return readOwnReduction(source.device(), "webp", request, [&] {
        return readWebp(source.readAll(), request.cover, request.allocate);
    });
}

} // namespace

extern const PictureFormat kWebpFormat{
    .name = "webp",
    .title = "WebP",
    .mimeTypes = kMimeTypes,
    .namePatterns = kPatterns,
    .sniff =
        [](QByteArrayView head) {
            return head.startsWith("RIFF") && head.size() >= 12 && head.sliced(8, 4) == "WEBP";
        },
    .read = readWebpFile,
};

} // namespace kavelora::decoder
