// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "protocol/picture_limits.h"

#include <QCoreApplication>
#include <QImage>
#include <QImageReader>

#include <cstring>

#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
#error "The fuzz targets decode under the fuzz builds' pixel cap: see protocol/picture_limits.h"
#endif

namespace kavelora::fuzz {

// The application object the image plugins are found through, its messages dropped: the
// decoders' warnings about broken data would only slow the run. Qt's readers get the
// allocation limit the decoder gives them.
inline void startQuietApplication(int* argc, char*** argv)
{
    static QCoreApplication application(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QImageReader::setAllocationLimit(kavelora::protocol::kDecodeAllocationLimitMiB);
}

// Every byte of image read, so that AddressSanitizer sees rows its buffer does not hold. Eight
// bytes at a time and kept out of the coverage the fuzzer steers by: reading a byte at a time,
// each comparison traced, took half of a reader target's time.
__attribute__((no_sanitize("coverage"))) inline unsigned sumOfPixels(const QImage& image)
{
    quint64 sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        const qsizetype rowBytes = image.bytesPerLine();
        qsizetype x = 0;
        for (; x + 8 <= rowBytes; x += 8) {
            quint64 word;
            std::memcpy(&word, row + x, sizeof word);
            sum += word;
        }
        for (; x < rowBytes; ++x)
            sum += row[x];
    }
    return static_cast<unsigned>(sum ^ (sum >> 32));
}

} // namespace kavelora::fuzz
