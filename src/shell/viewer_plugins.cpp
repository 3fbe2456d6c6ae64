// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "shell/viewer_plugins.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace kavelora::shell {

namespace {

// Beside the installed program, or else in the build tree it was built in.
QString pluginFolder()
{
    const QString programFolder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    const QString installed =
        QDir(programFolder).filePath(QStringLiteral(KAVELORA_PLUGINS_RELATIVE_PATH));
    if (QFileInfo(installed).isDir())
        return QDir::cleanPath(installed);
    const QString built = QStringLiteral(KAVELORA_PLUGINS_BUILD_PATH);
    return QFileInfo(built).isDir() ? built : QString();
}

} // namespace

void useQtPluginsWithoutImageFormats()
{
    const QString folder = pluginFolder();
    if (!folder.isEmpty())
        QCoreApplication::setLibraryPaths({folder});
}

} // namespace kavelora::shell
