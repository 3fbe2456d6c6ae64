// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// libFuzzer target on the helper's whole decode: the format sniffing, the pre-checks and the
// decode, fed from memory as the helper is fed a file, then the larger decode that printing
// asks for beside the picture held already. A crash, a sanitizer report, a hang or an
// allocation over the fuzzer's limit is a finding.

#include "decoder/picture_decoder.h"
#include "fuzz_support.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// What the decoder promises every caller of a picture it gives back.
void checkPromises(const kavelora::decoder::DecodedPicture& decoded)
{
    const QImage& image = decoded.image;
    if (image.isNull())
        return;
    // Deeper formats are brought down to 8 bits per channel before anyone sees them.
    if (static_cast<qint64>(image.width()) * image.height() >
            kavelora::protocol::kMaxPicturePixels ||
        decoded.ownSize.isEmpty() || decoded.format.isEmpty() || image.depth() > 32)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    kavelora::fuzz::startQuietApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kavelora::decoder;
    using namespace kavelora::protocol;
    using kavelora::platform::RuntimeError;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const DecodedPicture shown = decodePicture(bytes, QSize(800, 600));
        checkPromises(shown);
        volatile unsigned sink = kavelora::fuzz::sumOfPixels(shown.image);
        const DecodedPicture printed = decodePicture(bytes, QSize(1600, 1200), shown.image.size());
        checkPromises(printed);
        sink = sink + kavelora::fuzz::sumOfPixels(printed.image);
    } catch (const RuntimeError&) {
        // Refusing the bytes is the decoder's answer to a bad file.
    }
    return 0;
}
