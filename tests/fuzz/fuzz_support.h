// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/limits.h"

#include <QCoreApplication>
#include <QImage>
#include <QImageReader>

#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
#error "The fuzz targets decode under the fuzz builds' pixel cap: see picture/limits.h"
#endif

namespace kavelora::fuzz {

// The application object the image plugins are found through, its messages dropped: the
// decoders' warnings about broken data would only slow the run. Qt's readers get the
// allocation limit the decoder gives them.
inline void startQuietApplication(int* argc, char*** argv)
{
    static QCoreApplication application(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QImageReader::setAllocationLimit(kavelora::picture::kDecodeAllocationLimitMiB);
}

// Every byte of image read, so that the sanitizers see any that was not written.
inline unsigned sumOfPixels(const QImage& image)
{
    unsigned sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        for (qsizetype x = 0; x < image.bytesPerLine(); ++x)
            sum += row[x];
    }
    return sum;
}

} // namespace kavelora::fuzz
