// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "test_files.h"

#include <QFile>

namespace kavelora::tests {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

QString writeFixture(const QDir& folder, const QString& name, const QByteArray& bytes)
{
    const QString path = folder.filePath(name);
    if (!writeFile(path, bytes))
        qFatal("cannot write fixture %s", qPrintable(path));
    return path;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace kavelora::tests
