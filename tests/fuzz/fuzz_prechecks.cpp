// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// libFuzzer target on the checks that run before any decoder sees a file: the format sniffing
// and the head checks of every format, on a head that is the input and a file size the input's
// last byte makes equal to the head or larger. Each run takes microseconds, so this target
// covers the parsing of lying headers far more often than the whole decode can.

#include "decoder/common/picture_prechecks.h"
#include "decoder/formats/bmp/bmp_reader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
using namespace kavelora::decoder;

bool isAllowedFormat(const QByteArray& format)
{
    static constexpr std::array kAllowed = {"bmp",  "ico",  "cur",  "gif", "jpeg", "png",
                                            "webp", "tiff", "pbm",  "pgm", "ppm",  "xbm",
                                            "xpm",  "heif", "avif", "jxl"};
    for (const char* name : kAllowed) {
        if (format == name)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray head(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // Half the runs see the whole file, the others a head of a file up to 8 MiB longer.
    const int lastByte = size > 0 ? data[size - 1] : 0;
    const qint64 fileSize = head.size() + (lastByte < 128 ? 0 : qint64{lastByte - 127} << 16);

    const QByteArray format = sniffPictureFormat(head);
    if (!format.isEmpty() && !isAllowedFormat(format))
        std::abort();
    // The answers themselves are the decoder's business; a crash or a sanitizer report here is
    // the finding.
    int answers = static_cast<int>(precheckHead(head, fileSize, format));
    for (const char* other : {"bmp", "png", "jpeg"})
        answers += static_cast<int>(precheckHead(head, fileSize, other));
    answers += static_cast<int>(pngChunksFitFile(head, fileSize)) +
               static_cast<int>(bmpPixelsFitFile(head, fileSize)) +
               static_cast<int>(jpegCoefficientsFit(head, fileSize)) + bmpNeedsWholeFile(head);
    volatile int sink = answers;
    static_cast<void>(sink);
    return 0;
}
