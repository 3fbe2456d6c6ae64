// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "e2e_support.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace kavelora::e2e {

// What /proc/<pid>/stat tells of a process.
struct ProcessState
{
    qint64 parent = 0;
    char state = '?';
    QByteArray name;
    qint64 cpuTicks = 0;
};

// The process's state, or nothing for a process that is gone.
std::optional<ProcessState> processState(qint64 pid);
// The children of parent: from /proc/<pid>/task/*/children where the kernel keeps that list,
// else from every process's parent.
QList<qint64> childProcesses(qint64 parent);
// The viewer's live decoder helper, or 0. A killed helper not yet reaped does not count.
qint64 helperOf(const RunningViewer& viewer);

// How far a process is locked down, from /proc/<pid>/status and /proc/<pid>/fd.
struct Confinement
{
    int seccompMode = -1; // 2: a system-call filter
    int noNewPrivileges = -1;
    QList<int> descriptors;
    // "Seccomp 2, NoNewPrivs 1, descriptors 0 1 2 3", for failure messages.
    QString describe() const;
};
std::optional<Confinement> confinementOf(qint64 pid);

// Bytes sent to the process over its Unix sockets that it has not read yet, as ss(8) lists
// them; -1 when ss cannot tell. Safe to call from any thread.
qint64 unreadSocketBytes(qint64 pid);

} // namespace kavelora::e2e
