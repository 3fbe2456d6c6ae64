// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// libFuzzer target on the loader's own code: the format sniffing, the pre-checks and the
// decode call, fed from memory exactly as LoadPicture feeds them a file's bytes, then the
// reduced-scale decode that printing asks for. A crash, a sanitizer report, a hang or an
// allocation over the fuzzer's limit is a finding.

#include "picture/picture_decoder.h"
#include "platform/runtime_error.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>

namespace {

void discardMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // The image plugins are found through the application's library paths; the decoders'
    // warnings about broken data would only slow the run.
    static QCoreApplication application(*argc, *argv);
    qInstallMessageHandler(discardMessage);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kavelora::picture;
    using kavelora::platform::RuntimeError;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const Picture picture = decodePicture(bytes, 96.0, QSize(800, 600));
        const QImage image = picture.screenImage();
        unsigned sum = 0;
        for (int y = 0; y < image.height(); ++y) {
            const uchar* row = image.constScanLine(y);
            for (qsizetype x = 0; x < image.bytesPerLine(); ++x)
                sum += row[x];
        }
        static_cast<void>(picture.decodeForSize(QSize(1600, 1200)));
        volatile unsigned sink = sum;
        static_cast<void>(sink);
    } catch (const RuntimeError&) {
        // Refusing the bytes is the loader's answer to a bad file.
    }
    return 0;
}
