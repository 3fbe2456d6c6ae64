// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/load_up_front.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QThreadPool>

#include <memory>
#include <vector>

namespace kavelora::decoder {

void loadImagePluginsUpFront()
{
    // Some handlers warn about the empty input; nobody needs to read that.
    const QtMessageHandler previousHandler =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    // Every plugin, not only those of the formats handed to Qt: a format given but not found
    // among the loaded plugins makes Qt load all the others to ask them, as the ICO reader
    // does for each PNG icon inside, and loading one in the locked process ends it.
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
        QBuffer empty;
        empty.open(QIODevice::ReadOnly);
        // Listing the formats loaded every plugin; a handler runs its own first-use set-up.
        QImageReader reader(&empty, format);
        reader.canRead();
    }
    qInstallMessageHandler(previousHandler);
    QColorSpace(QColorSpace::SRgb).iccProfile();
    // The first thread makes glibc install its thread signal handlers and Qt set up its
    // per-thread event machinery; afterwards starting a thread needs neither.
    QThreadPool firstThread;
    firstThread.start([] {});
    firstThread.waitForDone();
    // glibc's malloc reads /proc/sys/vm/overcommit_memory the first time a thread's heap gives
    // memory back, as a reader's threads do when they free their buffers (a HEIF grid's tile
    // decoders): a thread that frees what it took settles it before the lock.
    QThreadPool shrinkingThread;
    shrinkingThread.start([] {
        constexpr int kBlocks = 64;
        // Each below the size malloc maps on its own, so that they all lie in the heap.
        constexpr std::size_t kBlockBytes = 64 * 1024;
        std::vector<std::unique_ptr<char[]>> blocks;
        for (int block = 0; block < kBlocks; ++block)
            blocks.push_back(std::make_unique<char[]>(kBlockBytes));
    });
    shrinkingThread.waitForDone();
}

} // namespace kavelora::decoder
