// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "helper_process.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace kavelora::e2e {

std::optional<ProcessState> processState(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray stat = file.readAll();
    // The name sits in parentheses and may hold spaces and parentheses itself.
    const qsizetype open = stat.indexOf('('), close = stat.lastIndexOf(')');
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    if (open < 0 || close < open || fields.size() < 13)
        return std::nullopt;
    return ProcessState{fields[1].toLongLong(), fields[0].at(0),
                        stat.mid(open + 1, close - open - 1),
                        fields[11].toLongLong() + fields[12].toLongLong()};
}

QList<qint64> childProcesses(qint64 parent)
{
    QList<qint64> children;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(parent));
    bool listed = false;
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile list(tasks.filePath(task + QStringLiteral("/children")));
        if (!list.open(QIODevice::ReadOnly))
            continue;
        listed = true;
        for (const QByteArray& pid : list.readAll().split(' ')) {
            if (!pid.trimmed().isEmpty())
                children.append(pid.trimmed().toLongLong());
        }
    }
    if (listed)
        return children;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isNumber = false;
        const qint64 pid = entry.toLongLong(&isNumber);
        if (!isNumber)
            continue;
        const std::optional<ProcessState> state = processState(pid);
        if (state && state->parent == parent)
            children.append(pid);
    }
    return children;
}

qint64 helperOf(const RunningViewer& viewer)
{
    for (const qint64 child : childProcesses(viewer.processId())) {
        const std::optional<ProcessState> state = processState(child);
        // The kernel keeps the first 15 bytes of the name.
        if (state && state->state != 'Z' && state->name.startsWith("kavelora-decod"))
            return child;
    }
    return 0;
}

QString Confinement::describe() const
{
    QStringList numbers;
    for (const int descriptor : descriptors)
        numbers << QString::number(descriptor);
    return QStringLiteral("Seccomp %1, NoNewPrivs %2, descriptors %3")
        .arg(seccompMode)
        .arg(noNewPrivileges)
        .arg(numbers.join(u' '));
}

std::optional<Confinement> confinementOf(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return std::nullopt;
    Confinement confinement;
    const QString text = QString::fromLatin1(status.readAll());
    const auto field = [&text](const char* name) {
        const QRegularExpression pattern(QStringLiteral("^%1:\\s*(\\d+)$").arg(QLatin1String(name)),
                                         QRegularExpression::MultilineOption);
        const QRegularExpressionMatch match = pattern.match(text);
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    };
    confinement.seccompMode = field("Seccomp");
    confinement.noNewPrivileges = field("NoNewPrivs");
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(pid));
    if (!descriptors.exists())
        return std::nullopt;
    for (const QString& entry : descriptors.entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                      QDir::System | QDir::Hidden)) {
        confinement.descriptors << entry.toInt();
    }
    std::sort(confinement.descriptors.begin(), confinement.descriptors.end());
    return confinement;
}

qint64 unreadSocketBytes(qint64 pid)
{
    // popen rather than QProcess: this runs on a watcher thread with no event loop.
    const std::unique_ptr<FILE, int (*)(FILE*)> listing(
        ::popen("ss --unix --processes --no-header 2>/dev/null", "r"), ::pclose);
    if (!listing)
        return -1;
    const QByteArray owner = "pid=" + QByteArray::number(pid) + ',';
    qint64 unread = 0;
    bool seen = false;
    char line[1024];
    while (std::fgets(line, sizeof line, listing.get())) {
        const QByteArray text(line);
        if (!text.contains(owner))
            continue;
        // Netid State Recv-Q Send-Q ...
        const QList<QByteArray> fields = text.simplified().split(' ');
        if (fields.size() > 2) {
            unread += fields[2].toLongLong();
            seen = true;
        }
    }
    return seen ? unread : -1;
}

} // namespace kavelora::e2e
