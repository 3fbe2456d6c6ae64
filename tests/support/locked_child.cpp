// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "locked_child.h"

#include "decoder/format_table.h"
#include "decoder/load_up_front.h"
#include "decoder/lockdown.h"
#include "decoder/picture_decoder.h"
#include "descriptor_message.h"
#include "picture_fixtures.h"

#include <QDebug>
#include <QImage>
#include <QThreadPool>

#include <fcntl.h>
#include <linux/futex.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <latch>
#include <linux/sched.h>
#include <span>

namespace kavelora::tests {

namespace {

constexpr decoder::LockdownLimits kLimits{kAddressSpaceBytes, kCpuSeconds};

bool lockDownWith(std::span<const int> kept)
{
    decoder::loadImagePluginsUpFront();
    decoder::loadFormatsBeforeLock();
    decoder::LockdownLimits limits = kLimits;
    limits.expectedParent = getppid();
    return decoder::lockDown(kept, limits);
}

// Reads the picture from pictureFile, decodes it and tells how it came out.
int decodeFrom(int pictureFile, bool throughDecoder)
{
    QByteArray bytes;
    char block[65536];
    for (ssize_t got; (got = read(pictureFile, block, sizeof block)) > 0;)
        bytes.append(block, got);
    QImage image;
    try {
        image = throughDecoder ? decoder::decodePicture(bytes, QSize(800, 600)).image
                               : QImage::fromData(bytes, "tga");
    } catch (...) {
        return DecodeRaised;
    }
    const int width = image.width();
    if (width == 0 ||
        image.width() * kPictureSize.height() != image.height() * kPictureSize.width())
        return WrongSize;
    const int middle = image.height() / 2;
    if (!colourNear(image.pixel(width / 4, middle), kLeft, 8) ||
        !colourNear(image.pixel(width * 3 / 4, middle), kRight, 8))
        return WrongPixels;
    return Succeeded;
}

// Decodes the picture in the kept descriptor pictureFile after the lock; writes one byte to
// report to show that a kept descriptor stays writable.
int decodeLocked(int pictureFile, int report, bool throughDecoder)
{
    const int kept[] = {pictureFile, report};
    if (!lockDownWith(kept))
        return LockFailed;
    const int result = decodeFrom(pictureFile, throughDecoder);
    if (result != Succeeded)
        return result;
    return write(report, "d", 1) == 1 ? Succeeded : KeptDescriptorFailed;
}

// As the helper works: receives a picture's descriptor on the kept socket after the lock,
// decodes the picture, closes the descriptor and answers on the socket.
int decodeReceived(int socket)
{
    const int kept[] = {socket};
    if (!lockDownWith(kept))
        return LockFailed;
    const int pictureFile = receiveDescriptor(socket);
    if (pictureFile < 0)
        return KeptDescriptorFailed;
    const int result = decodeFrom(pictureFile, true);
    close(pictureFile);
    if (result != Succeeded)
        return result;
    return send(socket, "d", 1, 0) == 1 ? Succeeded : KeptDescriptorFailed;
}

// Whether call is made on a descriptor the lock keeps.
bool madeOnKeptDescriptor(ForbiddenCall call)
{
    return call == ForbiddenCall::SendMessageOnKeptDescriptor ||
           call == ForbiddenCall::SendToAnAddress;
}

// Makes a call the filter must kill for; descriptor is kept for calls on a kept descriptor.
int tryForbiddenCall(ForbiddenCall call, int descriptor)
{
    static const char kFile[] = "/etc/passwd";
    const pid_t ownId = getpid();
    const int kept[] = {descriptor};
    if (!lockDownWith(madeOnKeptDescriptor(call) ? std::span<const int>(kept)
                                                 : std::span<const int>()))
        return LockFailed;
    void* page = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    int futexWord = 0;
    char byte = 'x';
    iovec part{&byte, 1};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    switch (call) {
    case ForbiddenCall::Open:
        syscall(SYS_open, kFile, O_RDONLY);
        break;
    case ForbiddenCall::OpenAt:
        openat(AT_FDCWD, kFile, O_RDONLY);
        break;
    case ForbiddenCall::Socket:
        socket(AF_UNIX, SOCK_STREAM, 0);
        break;
    case ForbiddenCall::Execve: {
        char* const arguments[] = {const_cast<char*>("/bin/true"), nullptr};
        execve("/bin/true", arguments, environ);
        break;
    }
    case ForbiddenCall::Fork:
        if (fork() == 0)
            _exit(Succeeded);
        break;
    case ForbiddenCall::Ptrace:
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        break;
    case ForbiddenCall::MapExecutable:
        mmap(nullptr, 4096, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        break;
    case ForbiddenCall::ProtectExecutable:
        mprotect(page, 4096, PROT_READ | PROT_EXEC);
        break;
    case ForbiddenCall::MemoryFile:
        syscall(SYS_memfd_create, "pixels", 0);
        break;
    case ForbiddenCall::Kill:
        kill(ownId, 0);
        break;
    case ForbiddenCall::WriteToDescriptorNotKept: {
        [[maybe_unused]] const ssize_t written = write(descriptor, "x", 1);
        break;
    }
    case ForbiddenCall::CloneWithOtherFlags:
        // A thread in a new network namespace; the kernel refuses it (no CLONE_SIGHAND) if the
        // filter lets it through.
        syscall(SYS_clone, CLONE_THREAD | CLONE_NEWNET, nullptr, nullptr, nullptr, 0);
        break;
    case ForbiddenCall::AdviceNotGiven:
        madvise(page, 4096, MADV_MERGEABLE);
        break;
    case ForbiddenCall::FutexRequeue:
        syscall(SYS_futex, &futexWord, FUTEX_CMP_REQUEUE_PRIVATE, 0, nullptr, &futexWord, 0);
        break;
    case ForbiddenCall::SharedAnonymousMap:
        mmap(nullptr, 4096, PROT_READ, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        break;
    case ForbiddenCall::SendMessageOnKeptDescriptor:
        sendmsg(descriptor, &message, MSG_NOSIGNAL);
        break;
    case ForbiddenCall::SendToAnAddress:
        sendto(descriptor, &byte, 1, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&address),
               sizeof address);
        break;
    }
    return ForbiddenCallReturned;
}

// Whether two pool threads ran at once.
bool poolThreadsMeet()
{
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    std::latch bothRunning(2);
    std::atomic<int> met = 0;
    for (int task = 0; task < 2; ++task) {
        pool.start([&] {
            bothRunning.arrive_and_wait();
            ++met;
        });
    }
    pool.waitForDone();
    return met == 2;
}

// Qt converts a picture this large on its global pool, in parallel bands.
bool convertsInParallel()
{
    const QImage wide = twoHalves(QSize(2048, 1024), kLeft, kRight);
    const QImage deep = wide.convertToFormat(QImage::Format_RGBA64);
    return colourNear(deep.pixel(100, 500), kLeft) && colourNear(deep.pixel(2000, 500), kRight);
}

// The call glibc would make for fork() were clone3 allowed.
bool clone3StartsNoProcess()
{
    clone_args arguments{};
    arguments.exit_signal = SIGCHLD;
    const long started = syscall(SYS_clone3, &arguments, sizeof arguments);
    if (started == 0)
        _exit(Succeeded);
    return started == -1 && errno == ENOSYS;
}

int doLocked(AllowedWork work)
{
    if (!lockDownWith({}))
        return LockFailed;
    switch (work) {
    case AllowedWork::PoolThreads:
        return poolThreadsMeet() ? Succeeded : WorkFailed;
    case AllowedWork::ParallelConversion:
        return convertsInParallel() ? Succeeded : WorkFailed;
    case AllowedWork::Warning:
        qWarning("a warning from a locked process");
        qInfo() << "and one through a stream" << kPictureSize;
        return Succeeded;
    case AllowedWork::NormalExit:
        // Runs every exit handler and static destructor, as the helper's return from main does.
        std::exit(Succeeded);
    case AllowedWork::ProcessByClone3:
        return clone3StartsNoProcess() ? Succeeded : WorkFailed;
    }
    return WorkFailed;
}

// Tells through report whether stray was closed, then waits for a byte on release, so that
// the parent can read the locked process's limits.
int waitLocked(int release, int report, int stray)
{
    const int kept[] = {release, report};
    if (!lockDownWith(kept))
        return LockFailed;
    const bool strayClosed = lseek(stray, 0, SEEK_CUR) < 0 && errno == EBADF;
    if (write(report, strayClosed ? "c" : "o", 1) != 1)
        return KeptDescriptorFailed;
    char go = 0;
    return read(release, &go, 1) == 1 ? Succeeded : KeptDescriptorFailed;
}

// Decodes pictureFile and converts a large picture in parallel, which leaves Qt's pool
// threads in a timed wait for more work; reports 'r', waits on release while the parent stops
// and continues it, then decodes the file again.
int decodeAcrossStop(int pictureFile, int report, int release)
{
    const int kept[] = {pictureFile, report, release};
    if (!lockDownWith(kept))
        return LockFailed;
    int result = decodeFrom(pictureFile, true);
    if (result == Succeeded && !convertsInParallel())
        result = WorkFailed;
    char go = 0;
    if (result != Succeeded || write(report, "r", 1) != 1 || read(release, &go, 1) != 1 ||
        lseek(pictureFile, 0, SEEK_SET) != 0)
        return result != Succeeded ? result : KeptDescriptorFailed;
    result = decodeFrom(pictureFile, true);
    if (result != Succeeded)
        return result;
    return write(report, "d", 1) == 1 ? Succeeded : KeptDescriptorFailed;
}

} // namespace

int runLockedChild(const char* role, const QList<int>& numbers)
{
    const auto number = [&](qsizetype index) { return numbers.value(index, -1); };
    if (qstrcmp(role, "forbidden") == 0)
        return tryForbiddenCall(static_cast<ForbiddenCall>(number(0)), number(1));
    if (qstrcmp(role, "allowed") == 0)
        return doLocked(static_cast<AllowedWork>(number(0)));
    if (qstrcmp(role, "decode") == 0)
        return decodeLocked(number(0), number(1), number(2) != 0);
    if (qstrcmp(role, "receive") == 0)
        return decodeReceived(number(0));
    if (qstrcmp(role, "wait") == 0)
        return waitLocked(number(0), number(1), number(2));
    if (qstrcmp(role, "stop") == 0)
        return decodeAcrossStop(number(0), number(1), number(2));
    return WorkFailed;
}

} // namespace kavelora::tests
