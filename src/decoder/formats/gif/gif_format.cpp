// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/gif/gif_format.h"

#include "decoder/formats/gif/gif_reader.h"

#include <array>

namespace kavelora::decoder {

namespace {

constexpr std::array<std::string_view, 1> kMimeTypes = {"image/gif"};
constexpr std::array<std::string_view, 1> kPatterns = {"*.gif"};

// GIF files are small, and their frames cost a pass over the whole file anyway.
std::optional<DecodedPicture> readGifFile(PictureStream& source, const ReadRequest& request)
{
    return readGif(source.readAll(), request.cover, request.held, request.allocate);
}

} // namespace

extern const PictureFormat kGifFormat{
    .name = "gif",
    .title = "GIF",
    .mimeTypes = kMimeTypes,
    .namePatterns = kPatterns,
    .sniff =
        [](QByteArrayView head) { return head.startsWith("GIF87a") || head.startsWith("GIF89a"); },
    .read = readGifFile,
};

} // namespace kavelora::decoder
