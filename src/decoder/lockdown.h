// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <span>

namespace kavelora::decoder {

// The resource limits of the locked decoder process.
struct LockdownLimits
{
    // RLIMIT_AS in bytes; 0 leaves it unset (the address sanitizer reserves terabytes).
    qint64 addressSpaceBytes = 0;
    // RLIMIT_CPU soft limit in seconds, the hard limit one more; 0 leaves it unset.
    int cpuSeconds = 0;
    // RLIMIT_FSIZE 0, so that no file can grow; off where a sanitizer's report may go to a file.
    bool limitFileSize = true;
    // When not 0, the viewer's process id: lockDown fails if the parent is another by the time
    // the parent-death signal is set, as when the viewer ended while the helper started.
    qint64 expectedParent = 0;
};

// Locks the calling process for good: closes every descriptor but 0, 1, 2 and
// keptDescriptors, sets no_new_privs, SIGKILL at the parent's death, drops every capability,
// sets the limits, RLIMIT_FSIZE 0, RLIMIT_CORE 0 and a small
// RLIMIT_NOFILE, denies all filesystem access where the kernel offers Landlock, and installs
// the system-call filter (writes and messages only to 1, 2 and keptDescriptors; sanitizer builds
// allow any write). Call it with one thread running. False (having changed what it could) when
// the filter cannot be installed; the caller then exits.
bool lockDown(std::span<const int> keptDescriptors, const LockdownLimits& limits);

// Sets no_new_privs and denies the calling thread, and the threads it starts later, every
// filesystem access the kernel's Landlock knows; false when it could not, as on a kernel
// without Landlock.
bool denyFilesystemAccess();

} // namespace kavelora::decoder
