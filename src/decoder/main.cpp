// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The decoder helper: decodes the pictures the viewer hands it, locked down so that a bug in
// a decoder reaches nothing but the descriptors it was given. The viewer starts it with its
// end of a socket as descriptor 3 and /dev/null as 0, 1 and 2.

#include "decoder/decoder_session.h"
#include "decoder/format_table.h"
#include "decoder/load_up_front.h"
#include "decoder/lockdown.h"
#include "protocol/decoder_protocol.h"
#include "protocol/socket_messages.h"

#include <QtGlobal>

#include <array>
#include <cerrno>
#include <malloc.h>
#include <unistd.h>

namespace protocol = kavelora::protocol;

namespace {

constexpr int kSocket = 3;

// A decode that runs past the viewer's time limit is killed by the viewer; this bounds what
// a helper left alone could burn. The viewer replaces a helper that has used half of it.
constexpr int kCpuSecondsLimit = 120;

void discardMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

bool locked = false;

// The viewer reads this one message before it sees the helper end, and logs why.
int cannotStart(protocol::StartFailure failure, int systemError)
{
    protocol::Reply reply;
    reply.kind = protocol::ReplyKind::CannotStart;
    reply.errorNumber = static_cast<std::int32_t>(failure);
    reply.systemError = systemError;
    protocol::sendMessage(kSocket, reply);
    return protocol::kCannotStartExitStatus;
}

} // namespace

// The leak check at exit reads /proc, which the filter forbids: the helper would die of it.
extern "C" int __lsan_is_turned_off()
{
    return locked ? 1 : 0;
}

int main()
{
    using namespace kavelora::decoder;
    const pid_t viewer = getppid();
    // Every thread allocates from the one main arena: glibc reads /proc to shrink the arenas
    // it makes for threads, which the filter would kill the helper for.
    mallopt(M_ARENA_MAX, 1);
    // Decoders' warnings about broken data would go to /dev/null anyway.
    qInstallMessageHandler(discardMessage);
    loadImagePluginsUpFront();
    loadFormatsBeforeLock();

    const std::array kept = {kSocket};
    LockdownLimits limits{};
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer reserves terabytes of address space, and reports to the viewer's stderr.
    limits.limitFileSize = false;
#else
    limits.addressSpaceBytes = 2LL * 1024 * 1024 * 1024;
#endif
    limits.cpuSeconds = kCpuSecondsLimit;
    limits.expectedParent = viewer;
    if (!lockDown(kept, limits))
        return cannotStart(protocol::StartFailure::CannotLock, errno);
    locked = true;
    protocol::Reply ready;
    ready.kind = protocol::ReplyKind::Ready;
    if (!protocol::sendMessage(kSocket, ready))
        return 0;

    DecoderSession session(kSocket, kCpuSecondsLimit / 2);
    while (session.serveOne()) {
    }
    return 0;
}
