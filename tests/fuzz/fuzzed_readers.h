// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <array>
#include <string_view>

namespace kavelora::fuzz {

// One format's reader called as the decoder calls it, on a file of that format its pre-checks
// passed. Gives the sum of every byte it decoded; raises RuntimeError as the reader does.
using ReadForFuzzing = unsigned (*)(const QByteArray& bytes);

unsigned readBmpForFuzzing(const QByteArray& bytes);
unsigned readGifForFuzzing(const QByteArray& bytes);
unsigned readPngForFuzzing(const QByteArray& bytes);
unsigned readTiffForFuzzing(const QByteArray& bytes);
unsigned readWebpForFuzzing(const QByteArray& bytes);
unsigned readJpegForFuzzing(const QByteArray& bytes);
unsigned readHeifForFuzzing(const QByteArray& bytes);
unsigned readAvifForFuzzing(const QByteArray& bytes);
unsigned readJxlForFuzzing(const QByteArray& bytes);

struct FuzzedReader
{
    // The format as the sniffing tells it, and as fuzz_<format>_reader, the target, is named.
    std::string_view format;
    ReadForFuzzing read;
};

inline constexpr std::array kFuzzedReaders = {
    FuzzedReader{"bmp", readBmpForFuzzing},   FuzzedReader{"gif", readGifForFuzzing},
    FuzzedReader{"png", readPngForFuzzing},   FuzzedReader{"tiff", readTiffForFuzzing},
    FuzzedReader{"webp", readWebpForFuzzing}, FuzzedReader{"jpeg", readJpegForFuzzing},
    FuzzedReader{"heif", readHeifForFuzzing}, FuzzedReader{"avif", readAvifForFuzzing},
    FuzzedReader{"jxl", readJxlForFuzzing},
};

// The row for format, or null.
constexpr const FuzzedReader* fuzzedReader(std::string_view format)
{
    for (const FuzzedReader& reader : kFuzzedReaders) {
        if (reader.format == format)
            return &reader;
    }
    return nullptr;
}

} // namespace kavelora::fuzz
