// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/decoder_client.h"

#include "picture/socket_messages.h"
#include "platform/runtime_error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace kavelora::picture {

using platform::ErrorNumber;
using platform::RuntimeError;
using protocol::Reply;
using protocol::ReplyKind;
using protocol::Request;
using protocol::RequestKind;

namespace {

Q_LOGGING_CATEGORY(decoderHelperLog, "kavelora.decoder")

// The helper's end of the socket, where it expects it.
constexpr int kHelperSocket = 3;

// A decode asks for one buffer to decode into, and at most one more to copy into.
constexpr std::size_t kMaxBuffersPerRequest = 2;

constexpr int kRequestsPerHelper = 1000;
// How long a playing animation may hold off its helper's replacement, for a loop that never
// ends.
constexpr int kRequestsPerHelperAtMost = 4 * kRequestsPerHelper;

QString helperPath()
{
    const QString programFolder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    const QString installed =
        QDir(programFolder).filePath(QStringLiteral(KAVELORA_DECODER_RELATIVE_PATH));
    if (QFileInfo(installed).isExecutable())
        return QDir::cleanPath(installed);
    return QStringLiteral(KAVELORA_DECODER_BUILD_PATH);
}

class SpawnSetup
{
public:
    SpawnSetup(int helperSocket)
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
#if !defined(__SANITIZE_ADDRESS__)
        // A sanitizer's report is the one thing worth reading from the helper.
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
#endif
        posix_spawn_file_actions_adddup2(&actions, helperSocket, kHelperSocket);
        posix_spawn_file_actions_addclosefrom_np(&actions, kHelperSocket + 1);
        sigset_t signals;
        sigemptyset(&signals);
        posix_spawnattr_setsigmask(&attributes, &signals);
        sigfillset(&signals);
        posix_spawnattr_setsigdefault(&attributes, &signals);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

std::chrono::milliseconds timeLeft(std::chrono::steady_clock::time_point deadline)
{
    return std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now()),
                    std::chrono::milliseconds(0));
}

} // namespace

struct DecoderClient::Exchange
{
    std::chrono::steady_clock::time_point deadline;
    std::vector<std::shared_ptr<SharedBuffer>> lent;
};

DecoderClient& DecoderClient::instance()
{
    static DecoderClient client;
    return client;
}

DecoderClient::DecoderClient() = default;

DecoderClient::~DecoderClient()
{
    stop();
}

void DecoderClient::start()
{
    if (m_helper > 0) {
        if (!m_exitWatch)
            watchForExit();
        return;
    }
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return;
    UniqueDescriptor mine(ends[0]);
    UniqueDescriptor theirs(ends[1]);
    // dup2 onto itself would leave close-on-exec set.
    if (theirs.get() == kHelperSocket)
        theirs = UniqueDescriptor(::fcntl(theirs.get(), F_DUPFD_CLOEXEC, kHelperSocket + 1));

    const QByteArray path = QFile::encodeName(helperPath());
    char* const arguments[] = {const_cast<char*>(path.constData()), nullptr};
    SpawnSetup setup(theirs.get());
    pid_t helper = 0;
    if (::posix_spawn(&helper, path.constData(), &setup.actions, &setup.attributes, arguments,
                      environ) != 0)
        return;
    m_helper = helper;
    m_socket = std::move(mine);
    m_requestsServed = 0;
    m_retirementDue = false;
    watchForExit();
}

void DecoderClient::stop()
{
    // Its own signal may be what stops the helper: it goes once that has returned.
    if (m_exitWatch) {
        m_exitWatch->setEnabled(false);
        m_exitWatch->deleteLater();
        m_exitWatch.clear();
    }
    m_socket.reset();
    if (m_helper > 0) {
        ::kill(m_helper, SIGKILL);
        int status = 0;
        pid_t reaped = -1;
        while ((reaped = ::waitpid(m_helper, &status, 0)) < 0 && errno == EINTR) {
        }
        // A helper that had already ended by another signal crashed, or broke its own filter
        // (SIGSYS) on a decode it should have been allowed to do; one that ended with a
        // status could not lock itself, or a sanitizer stopped it.
        if (reaped == m_helper && WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL)
            qCWarning(decoderHelperLog, "the decoder helper %d ended by signal %d",
                      static_cast<int>(m_helper), WTERMSIG(status));
        if (reaped == m_helper && WIFEXITED(status) && WEXITSTATUS(status) != 0)
            qCWarning(decoderHelperLog, "the decoder helper %d ended with status %d",
                      static_cast<int>(m_helper), WEXITSTATUS(status));
        m_helper = 0;
    }
}

// An idle helper says nothing: anything readable is its end, and a fresh one takes its place.
void DecoderClient::watchForExit()
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return;
    m_exitWatch = new QSocketNotifier(m_socket.get(), QSocketNotifier::Read, application);
    QObject::connect(m_exitWatch, &QSocketNotifier::activated, m_exitWatch, [this] {
        stop();
        start();
    });
}

DecoderClient::Decoded DecoderClient::decode(PictureFile& file, QSize cover, QSize held)
{
    Request asked;
    asked.kind = RequestKind::Decode;
    asked.coverWidth = std::max(cover.width(), 0);
    asked.coverHeight = std::max(cover.height(), 0);
    asked.heldWidth = std::max(held.width(), 0);
    asked.heldHeight = std::max(held.height(), 0);
    std::optional<Decoded> decoded = request(file, asked);
    if (!decoded)
        throw RuntimeError(ErrorNumber::InvalidPicture);
    return std::move(*decoded);
}

std::optional<DecoderClient::Decoded> DecoderClient::frame(PictureFile& file,
                                                           std::uint32_t animation, int index)
{
    Request asked;
    asked.kind = RequestKind::Frame;
    asked.animation = animation;
    asked.frameIndex = index;
    return request(file, asked);
}

std::optional<DecoderClient::Decoded> DecoderClient::request(PictureFile& file,
                                                             const Request& asked)
{
    Request sent = asked;
    sent.fileSize = file.size();
    const int descriptor = file.descriptor();
    start();
    bool delivered = m_helper > 0 && sendMessage(m_socket.get(), sent, std::span(&descriptor, 1));
    if (!delivered) {
        // It ended while idle, before its end was noticed: a fresh one takes the request.
        stop();
        start();
        delivered = m_helper > 0 && sendMessage(m_socket.get(), sent, std::span(&descriptor, 1));
    }
    Exchange exchange{std::chrono::steady_clock::now() + kTimeLimit, {}};
    std::optional<Reply> reply;
    while (delivered && (reply = nextReply(exchange)) && reply->kind == ReplyKind::NeedBuffer) {
        if (!lendBuffer(exchange, reply->bufferBytes))
            reply.reset();
    }
    const auto failed = [this] {
        stop();
        start();
        return RuntimeError(ErrorNumber::InvalidPicture);
    };
    if (!reply)
        throw failed();
    // A fresh helper now and then leaves nothing a decoder may have leaked or corrupted. In
    // the middle of an animation's loop it waits for the loop's end, where the next frame is
    // the first one anyway.
    if (reply->retiring || ++m_requestsServed >= kRequestsPerHelper)
        m_retirementDue = true;
    const bool betweenLoops = asked.kind != RequestKind::Frame || reply->kind == ReplyKind::NoFrame;
    if (m_retirementDue && (betweenLoops || m_requestsServed >= kRequestsPerHelperAtMost)) {
        stop();
        start();
    }
    switch (reply->kind) {
    case ReplyKind::Failed:
        throw RuntimeError(static_cast<ErrorNumber>(reply->errorNumber));
    case ReplyKind::NoFrame:
        return std::nullopt;
    case ReplyKind::Unchanged:
        return Decoded{QImage(), protocol::ownSize(*reply), {}, false, 0, 0};
    case ReplyKind::Decoded:
        break;
    case ReplyKind::NeedBuffer:
        throw failed();
    }
    // A frame comes in order, or the animation starts again from its first.
    if (asked.kind == RequestKind::Frame && reply->frameIndex != asked.frameIndex &&
        reply->frameIndex != 0)
        throw failed();
    const auto buffer =
        std::find_if(exchange.lent.begin(), exchange.lent.end(),
                     [&](const auto& lent) { return lent->id() == reply->bufferId; });
    const QSize size = protocol::decodedSize(*reply);
    // A buffer the helper still writes, or one it sealed itself, is not taken back.
    if (buffer == exchange.lent.end() ||
        static_cast<std::int64_t>(reply->bytesPerLine) * size.height() > (*buffer)->bytes() ||
        !(*buffer)->takeBack())
        throw failed();
    QImage image = imageIn(*buffer, size, reply->bytesPerLine,
                           static_cast<QImage::Format>(reply->pixelFormat));
    return Decoded{std::move(image),
                   protocol::ownSize(*reply),
                   protocol::formatName(*reply),
                   reply->animated != 0,
                   reply->delayMs,
                   reply->loopCount,
                   reply->frameIndex};
}

std::optional<Reply> DecoderClient::nextReply(Exchange& exchange)
{
    pollfd ready{m_socket.get(), POLLIN, 0};
    int count = -1;
    do {
        count = ::poll(&ready, 1, static_cast<int>(timeLeft(exchange.deadline).count()));
    } while (count < 0 && errno == EINTR);
    if (count <= 0)
        return std::nullopt;
    std::optional<ReceivedMessage> message = receiveMessage(m_socket.get(), sizeof(Reply), 0);
    if (!message)
        return std::nullopt;
    return protocol::parseReply(message->bytes);
}

bool DecoderClient::lendBuffer(Exchange& exchange, std::int64_t bytes)
{
    if (exchange.lent.size() >= kMaxBuffersPerRequest)
        return false;
    std::shared_ptr<SharedBuffer> buffer = SharedBuffer::create(m_nextBufferId++, bytes);
    if (!buffer)
        return false;
    exchange.lent.push_back(buffer);
    Request lending;
    lending.kind = RequestKind::Buffer;
    lending.bufferId = buffer->id();
    lending.bufferBytes = buffer->bytes();
    const int descriptor = buffer->descriptor();
    return sendMessage(m_socket.get(), lending, std::span(&descriptor, 1));
}

} // namespace kavelora::picture
