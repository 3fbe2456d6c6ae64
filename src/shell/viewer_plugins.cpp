// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "shell/viewer_plugins.h"

#include "platform/program_files.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace kavelora::shell {

void useQtPluginsWithoutImageFormats()
{
    const QString folder = platform::besideProgram(QStringLiteral(KAVELORA_PLUGINS_RELATIVE_PATH));
    if (QFileInfo(folder).isDir())
        QCoreApplication::setLibraryPaths({folder});
}

} // namespace kavelora::shell
