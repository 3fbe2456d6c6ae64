// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "process_status.h"

#include "test_files.h"

#include <QDir>
#include <QRegularExpression>

namespace kavelora::tests {

using namespace Qt::StringLiterals;

QString limitLine(const QByteArray& limits, const char* name)
{
    const QRegularExpression line(QStringLiteral("^%1 +(\\S+) +(\\S+)").arg(QLatin1String(name)),
                                  QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = line.match(QString::fromLatin1(limits));
    return match.hasMatch() ? match.captured(1) + u' ' + match.captured(2) : QString();
}

QString statusLine(const QByteArray& status, const char* name)
{
    const QRegularExpression line(QStringLiteral("^%1:\\s+(\\S+)").arg(QLatin1String(name)),
                                  QRegularExpression::MultilineOption);
    return line.match(QString::fromLatin1(status)).captured(1);
}

char processState(pid_t process)
{
    const QByteArray stat = readFile(u"/proc/%1/stat"_s.arg(process));
    const qsizetype nameEnd = stat.lastIndexOf(") ");
    return nameEnd < 0 ? '\0' : stat.at(nameEnd + 2);
}

bool threadWaitsIn(pid_t process, long call)
{
    const QDir tasks(u"/proc/%1/task"_s.arg(process));
    const QByteArray callNumber = QByteArray::number(call) + ' ';
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (task.toInt() != process &&
            readFile(tasks.filePath(task + u"/syscall"_s)).startsWith(callNumber))
            return true;
    }
    return false;
}

} // namespace kavelora::tests
