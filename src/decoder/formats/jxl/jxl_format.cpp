// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/jxl/jxl_format.h"

#include "decoder/common/codec_samples.h"
#include "decoder/formats/jxl/jxl_reader.h"

#include <jxl/decode_cxx.h>
#include <jxl/thread_parallel_runner_cxx.h>

#include <array>

namespace kavelora::decoder {

namespace {

constexpr std::array<std::string_view, 1> kMimeTypes = {"image/jxl"};
constexpr std::array<std::string_view, 1> kPatterns = {"*.jxl"};

// A bare code stream, or the container's signature box.
bool isJxl(QByteArrayView head)
{
    return head.startsWith("\xFF\x0A") ||
           head.startsWith(QByteArrayView("\0\0\0\x0CJXL \x0D\x0A\x87\x0A", 12));
}

} // namespace

extern const PictureFormat kJxlFormat{
    .name = "jxl",
    .title = "JPEG XL",
    .mimeTypes = kMimeTypes,
    .namePatterns = kPatterns,
    .sniff = isJxl,
    .loadBeforeLock =
        [] {
            // libjxl loads nothing later; a decoder and a runner settle its one-time set-up.
            JxlDecoderMake(nullptr).reset();
            JxlThreadParallelRunnerMake(nullptr, 1).reset();
            prepareColourConversion();
        },
    // libjxl reads from memory.
    .read = [](PictureStream& source, const ReadRequest& request) -> std::optional<DecodedPicture> {
        return readJxl(source.readAll(), request);
    },
};

} // namespace kavelora::decoder
