// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// libFuzzer target on one format folder's readers, built once per folder under
// src/decoder/formats/ with KAVELORA_FUZZED_FORMATS naming its rows of the format table
// ("ico cur"). Inputs the sniffing gives another format are turned away (and kept out of the
// corpus); the rest meet the row's head check, then its read, and Qt's reader where the row
// leaves the file to it, as in the decoder: at a small cover, at one the input's length picks,
// and whole beside the copy held. A crash, a sanitizer report, a broken promise, a hang or an
// allocation over the fuzzer's limit is a finding; a RuntimeError is the reader's answer to a
// bad file.

#include "decoder/common/qt_picture_reader.h"
#include "decoder/format_table.h"
#include "decoder/frame_reader.h"
#include "fuzz_support.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

using namespace kavelora::decoder;
using kavelora::platform::RuntimeError;

constexpr std::string_view kFuzzedFormats = KAVELORA_FUZZED_FORMATS;
constexpr QSize kWholeCover(1 << 20, 1 << 20);
// Enough frames of an animation to reach its disposal and delta paths.
constexpr int kMaxFrames = 4;

bool isFuzzed(std::string_view name)
{
    for (std::size_t at = 0; at < kFuzzedFormats.size();) {
        const std::size_t end = std::min(kFuzzedFormats.find(' ', at), kFuzzedFormats.size());
        if (kFuzzedFormats.substr(at, end - at) == name)
            return true;
        at = end + 1;
    }
    return false;
}

// What every reader promises of the pictures it gives back, then their bytes' sum.
unsigned keptPromises(const QImage& image)
{
    if (image.isNull())
        return 0;
    if (qint64{image.width()} * image.height() > kavelora::protocol::kMaxPicturePixels ||
        image.depth() > 32)
        std::abort();
    return kavelora::fuzz::sumOfPixels(image);
}

unsigned keptPromises(const DecodedPicture& decoded)
{
    if (!decoded.image.isNull() &&
        (decoded.ownSize.isEmpty() || decoded.image.width() > decoded.ownSize.width() ||
         decoded.image.height() > decoded.ownSize.height()))
        std::abort();
    return keptPromises(decoded.image);
}

DecodedPicture readAs(const PictureFormat& format, const QByteArray& bytes, QSize cover, QSize held)
{
    PictureStream stream(bytes);
    const ReadRequest request{cover, held};
    std::optional<DecodedPicture> decoded =
        format.read ? format.read(stream, request) : std::nullopt;
    if (decoded)
        return std::move(*decoded);
    return readWithQt(stream.device(), nameOf(format), request);
}

unsigned framesRead(const PictureFormat& format, const QByteArray& bytes)
{
    FrameReader frames(bytes, nameOf(format));
    unsigned sum = 0;
    for (int frame = 0; frame < kMaxFrames; ++frame) {
        const std::optional<FrameReader::Frame> next = frames.next();
        if (!next)
            break;
        sum += keptPromises(next->image);
    }
    return sum;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    kavelora::fuzz::startQuietApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const PictureFormat* format = formatOfContent(bytes);
    if (!format || !isFuzzed(format->name))
        return -1;
    try {
        if (format->checkHead && format->checkHead(bytes, bytes.size()) == HeadCheck::Fails)
            return 0;
        // The length picks a cover between the smallest and the whole, so that each file
        // meets one of the scales a reader chooses between; a reduced picture is then read
        // whole, as printing reads it beside the copy shown already.
        const int side = 8 << (size % 10);
        const DecodedPicture reduced = readAs(*format, bytes, QSize(side, side * 3 / 4), {});
        unsigned sum = keptPromises(reduced);
        if (!reduced.image.isNull() && reduced.image.size() != reduced.ownSize)
            sum += keptPromises(readAs(*format, bytes, kWholeCover, reduced.image.size()));
        if (reduced.animated)
            sum += framesRead(*format, bytes);
        volatile unsigned sink = sum;
        static_cast<void>(sink);
    } catch (const RuntimeError&) {
        // Refusing the bytes is the reader's answer to a bad file.
    }
    return 0;
}
