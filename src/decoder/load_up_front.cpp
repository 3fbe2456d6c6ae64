// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/load_up_front.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QThreadPool>

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
}

} // namespace kavelora::decoder
