// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/png/png_format.h"

#include "decoder/common/qt_picture_reader.h"
#include "decoder/formats/png/png_chunks.h"
#include "decoder/formats/png/png_reader.h"

#include <array>

namespace kavelora::decoder {

namespace {

constexpr std::array<std::string_view, 1> kMimeTypes = {"image/png"};
constexpr std::array<std::string_view, 1> kPatterns = {"*.png"};

std::optional<DecodedPicture> readPngFile(PictureStream& source, const ReadRequest& request)
{
    return readOwnReduction(source.device(), "png", request, [&] {
        return readPng(source.device(), request.cover, request.allocate);
    });
}

} // namespace

extern const PictureFormat kPngFormat{
    .name = "png",
    .title = "PNG",
    .mimeTypes = kMimeTypes,
    .namePatterns = kPatterns,
    .sniff = [](QByteArrayView head) { return head.startsWith("\x89PNG\r\n\x1A\n"); },
    .checkHead = pngHeadCheck,
    .read = readPngFile,
};

} // namespace kavelora::decoder
