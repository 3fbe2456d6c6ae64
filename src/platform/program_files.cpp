// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "platform/program_files.h"

#include <QDir>
#include <QFileInfo>

namespace kavelora::platform {

QString besideProgram(const QString& relativePath)
{
    const QString programFolder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    return QDir::cleanPath(QDir(programFolder).filePath(relativePath));
}

} // namespace kavelora::platform
