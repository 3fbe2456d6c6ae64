// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// What /proc shows of another process.
namespace kavelora::tests {

// The soft and hard values of the line name in a /proc/<pid>/limits, as "soft hard".
QString limitLine(const QByteArray& limits, const char* name);

// The value of a "Name:" line of /proc/<pid>/status.
QString statusLine(const QByteArray& status, const char* name);

// The state letter of /proc/<pid>/stat, or 0 once the process is gone.
char processState(pid_t process);

// Whether a thread of process other than its first sits in the system call numbered call.
bool threadWaitsIn(pid_t process, long call);

} // namespace kavelora::tests
