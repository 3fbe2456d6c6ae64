// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "window/dropped_picture_file.h"

#include <QMimeData>
#include <QSysInfo>
#include <QUrl>

namespace kavelora::window {

namespace {

// A file URL may name a host; Qt would turn any host into a "//host/path" name, which on
// this system is a different file on this machine.
bool namesThisMachine(const QUrl& url)
{
    const QString host = url.host();
    return host.isEmpty() || host == QLatin1String("localhost") ||
           host == QSysInfo::machineHostName();
}

} // namespace

std::optional<QString> droppedPictureFile(const QMimeData& data)
{
    if (!data.hasUrls())
        return std::nullopt;
    QList<QUrl> urls = data.urls();
    // Qt reads the list's comment lines as URLs of a bare fragment.
    urls.removeIf([](const QUrl& url) { return url.toString().startsWith(QLatin1Char('#')); });
    // Only the first counts: a later local file does not stand in for a refused first one.
    if (urls.isEmpty() || !urls.first().isLocalFile() || !namesThisMachine(urls.first()))
        return std::nullopt;
    const QString fileName = urls.first().path(QUrl::FullyDecoded);
    // A decoded NUL would cut the name short when the file is opened, naming another file.
    if (!fileName.startsWith(QLatin1Char('/')) || fileName.endsWith(QLatin1Char('/')) ||
        fileName.contains(QChar(u'\0')))
        return std::nullopt;
    return fileName;
}

} // namespace kavelora::window
