// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// libFuzzer target on the checks that run before any decoder sees a file: the format sniffing
// and the head checks of every format, on a head that is the input and a file size the input's
// last byte makes equal to the head or larger. Each run takes microseconds, so this target
// covers the parsing of lying headers far more often than the whole decode can.

#include "decoder/format_table.h"
#include "decoder/formats/bmp/bmp_reader.h"
#include "platform/runtime_error.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kavelora::decoder;
    const QByteArray head(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // Half the runs see the whole file, the others a head of a file up to 8 MiB longer.
    const int lastByte = size > 0 ? data[size - 1] : 0;
    const qint64 fileSize = head.size() + (lastByte < 128 ? 0 : qint64{lastByte - 127} << 16);

    // The answers themselves are the decoder's business; a crash or a sanitizer report here is
    // the finding. Every format's check sees every input, not only the sniffed one's.
    int answers = formatOfContent(head) ? 1 : 0;
    for (const PictureFormat* format : pictureFormats()) {
        if (!format->checkHead)
            continue;
        try {
            answers += static_cast<int>(format->checkHead(head, fileSize));
        } catch (const kavelora::platform::RuntimeError&) {
            ++answers; // a check's refusal of a file too large to decode
        }
    }
    answers += bmpNeedsWholeFile(head) ? 1 : 0;
    volatile int sink = answers;
    static_cast<void>(sink);
    return 0;
}
