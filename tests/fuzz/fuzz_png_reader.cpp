// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// libFuzzer target on the PNG reader's own parsing: the chunks, the header, the colour chunks,
// the threaded inflate, the unfiltering and the area average, at a reduced and at the whole
// size. A crash, a sanitizer report, a hang or an allocation over the fuzzer's limit is a
// finding; a RuntimeError is the reader's answer to a bad file.

#include "fuzz_support.h"
#include "picture/png_reader.h"
#include "platform/runtime_error.h"

#include <QCoreApplication>
#include <QImage>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    kavelora::fuzz::startQuietApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    unsigned sum = 0;
    for (const QSize cover : {QSize(7, 5), QSize(1 << 20, 1 << 20)}) {
        try {
            if (const auto decoded = kavelora::picture::readPng(bytes, cover))
                sum += kavelora::fuzz::sumOfPixels(decoded->image);
        } catch (const kavelora::platform::RuntimeError&) {
            // Refusing the bytes is the reader's answer to a bad file.
        }
    }
    volatile unsigned sink = sum;
    static_cast<void>(sink);
    return 0;
}
