// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QRgb>
#include <QSize>

// What a locked child of the lock-down test does in each role, and what it reports.
namespace kavelora::tests {

enum class ForbiddenCall {
    Open,
    OpenAt,
    Socket,
    Execve,
    Fork,
    Ptrace,
    MapExecutable,
    ProtectExecutable,
    MemoryFile,
    Kill,
    WriteToDescriptorNotKept,
    // Calls allowed only with some arguments, made with others.
    CloneWithOtherFlags,
    AdviceNotGiven,
    FutexRequeue,
    SharedAnonymousMap,
    SendMessageOnKeptDescriptor,
    SendToAnAddress,
};

enum class AllowedWork {
    PoolThreads,
    ParallelConversion,
    Warning,
    NormalExit,
    // A raw clone3 without CLONE_THREAD, which must fail with ENOSYS rather than start a
    // process.
    ProcessByClone3,
};

// Exit codes of the children.
enum ChildResult : int {
    Succeeded = 0,
    LockFailed = 10,
    DecodeRaised,
    WrongSize,
    WrongPixels,
    KeptDescriptorFailed,
    ForbiddenCallReturned,
    Opened,
    WorkFailed,
};

// The fixtures show kLeft in their left half and kRight in their right half.
inline constexpr QSize kPictureSize(640, 480);
inline constexpr QRgb kLeft = qRgb(0, 0, 0);
inline constexpr QRgb kRight = qRgb(255, 255, 255);
inline constexpr int kCpuSeconds = 60;

#if defined(__SANITIZE_ADDRESS__)
inline constexpr qint64 kAddressSpaceBytes = 0;
#else
inline constexpr qint64 kAddressSpaceBytes = 2LL * 1024 * 1024 * 1024;
#endif

// The program's switch that makes it a locked child.
inline constexpr char kRoleSwitch[] = "--locked-child";

// Loads what decoding needs, locks down and plays role with numbers, the descriptors it
// inherited and the row's values: "forbidden" call notKept, "allowed" work, "decode"
// pictureFile report throughDecoder, "receive" socket, "wait" release report stray, "stop"
// pictureFile report release (decodes, reports 'r', waits for release, decodes again and
// reports 'd'). Returns a
// ChildResult unless the filter kills it first.
int runLockedChild(const char* role, const QList<int>& numbers);

} // namespace kavelora::tests
