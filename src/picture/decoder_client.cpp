// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/decoder_client.h"

#include "picture/socket_messages.h"
#include "platform/runtime_error.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <vector>

namespace kavelora::picture {

using platform::ErrorNumber;
using platform::RuntimeError;
using protocol::Reply;
using protocol::ReplyKind;
using protocol::Request;
using protocol::RequestKind;

namespace {

Q_LOGGING_CATEGORY(decoderHelperLog, "kavelora.decoder")

// A decode asks for one buffer to decode into, and at most one more to copy into.
constexpr std::size_t kMaxBuffersPerRequest = 2;

constexpr int kRequestsPerHelper = 1000;

// A helper whose socket has closed is on its way out; how it ended is worth this long a wait.
constexpr std::chrono::milliseconds kEndWait{100};

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds timeLeft(Clock::time_point deadline)
{
    return std::max(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()),
                    std::chrono::milliseconds(0));
}

// Whether socket became ready for events before deadline.
bool waitFor(int socket, short events, Clock::time_point deadline)
{
    pollfd ready{socket, events, 0};
    int count = -1;
    do {
        count = ::poll(&ready, 1, static_cast<int>(timeLeft(deadline).count()));
    } while (count < 0 && errno == EINTR);
    return count > 0;
}

// Marks the client busy while it lives. Starting a helper serves the GUI thread's timers, and
// a timer's request must not cut into the conversation under way.
class BusyFlag
{
public:
    explicit BusyFlag(bool& busy)
        : m_busy(busy)
    {
        m_busy = true;
    }
    ~BusyFlag() { m_busy = false; }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;

private:
    bool& m_busy;
};

} // namespace

struct DecoderClient::Exchange
{
    Clock::time_point deadline;
    std::uint32_t id = 0;
    std::vector<std::shared_ptr<SharedBuffer>> lent;
    Reply reply;
    // What a helper said before it ended, when it said it cannot start.
    std::optional<Reply> lastWord;
};

DecoderClient& DecoderClient::instance()
{
    static DecoderClient client(installedHelper());
    return client;
}

DecoderClient::DecoderClient(std::unique_ptr<HelperLauncher> launcher,
                             std::chrono::milliseconds timeLimit)
    : m_launcher(std::move(launcher))
    , m_timeLimit(timeLimit)
{}

DecoderClient::~DecoderClient()
{
    stop();
    delete m_restart.data();
}

void DecoderClient::start()
{
    if (m_busy)
        return;
    if (m_socket.isValid()) {
        if (!m_exitWatch)
            watchForExit();
        return;
    }
    if (!m_backoff.mayStart(Clock::now())) {
        startLater();
        return;
    }
    LaunchedHelper launched;
    {
        const BusyFlag busy(m_busy);
        launched = m_launcher->launch();
    }
    if (!launched.socket.isValid()) {
        noteStartFailure(launched.failure);
        return;
    }
    m_socket = std::move(launched.socket);
    m_helper = std::move(launched.process);
    m_ready = false;
    m_requestsServed = 0;
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
    m_helper.end();
    m_ready = false;
}

void DecoderClient::noteStartFailure(const QString& reason)
{
    if (m_backoff.failed(Clock::now(), reason))
        qCWarning(decoderHelperLog,
                  "the decoder helper cannot start: %s; no picture opens until one does, tried "
                  "again after %lld ms and ever longer pauses up to %lld ms",
                  qUtf8Printable(reason),
                  static_cast<long long>(StartBackoff::delayAfter(m_backoff.failures()).count()),
                  static_cast<long long>(StartBackoff::kLongestDelay.count()));
    startLater();
}

// From the event loop, once the pause after failed starts is over: by then the files of the
// request that ended the last helper are closed. A new process closes every descriptor it
// inherits, and one on a stalled FUSE mount would hold its start up.
void DecoderClient::startLater()
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return;
    if (!m_restart) {
        m_restart = new QTimer(application);
        m_restart->setSingleShot(true);
        QObject::connect(m_restart, &QTimer::timeout, m_restart, [this] { start(); });
    }
    if (!m_restart->isActive())
        m_restart->start(timeLeft(m_backoff.nextStart()));
}

QString DecoderClient::endReason(std::optional<Reply> lastWord)
{
    // Its last word may still wait unread behind what failed first.
    for (int message = 0; !lastWord && message < 4; ++message) {
        if (!m_socket.isValid() || !waitFor(m_socket.get(), POLLIN, Clock::now()))
            break;
        const std::optional<ReceivedMessage> received =
            receiveMessage(m_socket.get(), sizeof(Reply), 0);
        const std::optional<Reply> said =
            received ? protocol::parseReply(received->bytes) : std::nullopt;
        if (!received)
            break;
        if (said && said->kind == ReplyKind::CannotStart)
            lastWord = said;
    }
    if (lastWord)
        return QStringLiteral("it cannot lock itself (%1)")
            .arg(QString::fromLocal8Bit(strerror(lastWord->systemError)));
    const QString when = m_ready ? QStringLiteral("before it served a request")
                                 : QStringLiteral("before it was ready");
    if (const std::optional<int> status = m_helper.endedStatus(kEndWait))
        return QStringLiteral("it ended with %1 %2").arg(describeEnd(*status), when);
    return QStringLiteral("it closed its socket %1").arg(when);
}

// An idle helper says only that it is ready, once; anything else is its end, and another
// takes its place.
void DecoderClient::watchForExit()
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return;
    m_exitWatch = new QSocketNotifier(m_socket.get(), QSocketNotifier::Read, application);
    QObject::connect(m_exitWatch, &QSocketNotifier::activated, m_exitWatch,
                     [this] { onIdleMessage(); });
}

void DecoderClient::onIdleMessage()
{
    if (m_busy)
        return;
    char first = 0;
    const ssize_t waiting = ::recv(m_socket.get(), &first, 1, MSG_PEEK | MSG_DONTWAIT);
    if (waiting < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    std::optional<Reply> said;
    if (waiting > 0) {
        const std::optional<ReceivedMessage> message =
            receiveMessage(m_socket.get(), sizeof(Reply), 0);
        said = message ? protocol::parseReply(message->bytes) : std::nullopt;
        if (said && said->kind == ReplyKind::Ready && !m_ready) {
            m_ready = true;
            return;
        }
    }
    // One that never served a request may not be able to: it waits its turn.
    if (!m_ready || m_requestsServed == 0) {
        const bool cannotStart = said && said->kind == ReplyKind::CannotStart;
        const QString reason = endReason(cannotStart ? said : std::nullopt);
        stop();
        noteStartFailure(reason);
        return;
    }
    stop();
    start();
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
    if (m_busy)
        throw RuntimeError(ErrorNumber::DeviceUnavailable);
    start();
    if (!m_socket.isValid())
        throw RuntimeError(ErrorNumber::DeviceUnavailable);
    Request sent = asked;
    sent.fileSize = file.size();
    // 0 is the id of what the helper says unasked.
    if (++m_lastRequestId == 0)
        ++m_lastRequestId;
    sent.requestId = m_lastRequestId;
    Exchange exchange{Clock::now() + m_timeLimit, sent.requestId, {}, {}, {}};
    const auto message = std::as_bytes(std::span(&sent, 1));
    if (!sendWithin(exchange, message, file.descriptor())) {
        if (!timeLeft(exchange.deadline).count())
            fail(Outcome::TimedOut);
        if (!m_ready)
            fail(Outcome::Ended);
        // It ended while idle, before its end was noticed: a fresh one takes the request.
        stop();
        start();
        if (!m_socket.isValid())
            throw RuntimeError(ErrorNumber::DeviceUnavailable);
        if (!sendWithin(exchange, message, file.descriptor()))
            fail(timeLeft(exchange.deadline).count() ? Outcome::Ended : Outcome::TimedOut);
    }
    const Outcome outcome = converse(exchange);
    if (outcome != Outcome::Replied)
        fail(outcome, exchange.lastWord);
    m_backoff.succeeded();
    m_buffers.trim();
    // A fresh helper now and then leaves nothing a decoder may have leaked or corrupted.
    if (exchange.reply.retiring || ++m_requestsServed >= kRequestsPerHelper) {
        stop();
        startLater();
    }
    switch (exchange.reply.kind) {
    case ReplyKind::Failed:
        throw RuntimeError(static_cast<ErrorNumber>(exchange.reply.errorNumber));
    case ReplyKind::NoFrame:
        return std::nullopt;
    case ReplyKind::Unchanged:
        return Decoded{QImage(), protocol::ownSize(exchange.reply), {}, false, 0, 0};
    default:
        return decodedFrom(exchange, exchange.reply);
    }
}

// The helper's messages until its final reply to the request, lending it buffers on the way.
DecoderClient::Outcome DecoderClient::converse(Exchange& exchange)
{
    for (;;) {
        Reply& reply = exchange.reply;
        const Outcome outcome = nextReply(exchange, reply);
        if (outcome != Outcome::Replied)
            return outcome;
        if (reply.kind == ReplyKind::CannotStart) {
            exchange.lastWord = reply;
            return Outcome::Ended;
        }
        if (reply.kind == ReplyKind::Ready) {
            if (m_ready)
                return Outcome::Broken;
            m_ready = true;
            continue;
        }
        if (!m_ready || reply.requestId != exchange.id)
            return Outcome::Broken;
        if (reply.kind != ReplyKind::NeedBuffer)
            return Outcome::Replied;
        if (!lendBuffer(exchange, reply.bufferBytes))
            return timeLeft(exchange.deadline).count() ? Outcome::Broken : Outcome::TimedOut;
    }
}

DecoderClient::Outcome DecoderClient::nextReply(Exchange& exchange, Reply& reply)
{
    if (!waitFor(m_socket.get(), POLLIN, exchange.deadline))
        return Outcome::TimedOut;
    const std::optional<ReceivedMessage> message = receiveMessage(m_socket.get(), sizeof(Reply), 0);
    if (!message)
        return Outcome::Ended;
    const std::optional<Reply> parsed = protocol::parseReply(message->bytes);
    if (!parsed)
        return Outcome::Broken;
    reply = *parsed;
    return Outcome::Replied;
}

void DecoderClient::fail(Outcome outcome, const std::optional<Reply>& lastWord)
{
    switch (outcome) {
    case Outcome::TimedOut:
        stop();
        startLater();
        throw RuntimeError(ErrorNumber::DeviceTimeout);
    case Outcome::Ended:
        // One that ended before it was ready, or said it cannot start, failed to start.
        if (!m_ready || lastWord) {
            const QString reason = endReason(lastWord);
            stop();
            noteStartFailure(reason);
            throw RuntimeError(ErrorNumber::DeviceUnavailable);
        }
        break;
    case Outcome::Broken:
    case Outcome::Replied:
        break;
    }
    stop();
    startLater();
    throw RuntimeError(ErrorNumber::InvalidPicture);
}

bool DecoderClient::sendWithin(const Exchange& exchange, std::span<const std::byte> message,
                               int descriptor)
{
    for (;;) {
        if (sendMessage(m_socket.get(), message, std::span(&descriptor, 1)))
            return true;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        if (!waitFor(m_socket.get(), POLLOUT, exchange.deadline))
            return false;
    }
}

DecoderClient::Decoded DecoderClient::decodedFrom(const Exchange& exchange, const Reply& reply)
{
    const auto buffer =
        std::find_if(exchange.lent.begin(), exchange.lent.end(),
                     [&](const auto& lent) { return lent->id() == reply.bufferId; });
    const QSize size = protocol::decodedSize(reply);
    if (buffer == exchange.lent.end() ||
        static_cast<std::int64_t>(reply.bytesPerLine) * size.height() > (*buffer)->bytes())
        fail(Outcome::Broken);
    QImage image =
        imageIn(*buffer, size, reply.bytesPerLine, static_cast<QImage::Format>(reply.pixelFormat));
    return Decoded{std::move(image),
                   protocol::ownSize(reply),
                   protocol::formatName(reply),
                   reply.animated != 0,
                   reply.delayMs,
                   reply.loopCount};
}

bool DecoderClient::lendBuffer(Exchange& exchange, std::int64_t bytes)
{
    if (exchange.lent.size() >= kMaxBuffersPerRequest)
        return false;
    std::shared_ptr<SharedBuffer> buffer = m_buffers.lend(bytes);
    if (!buffer)
        return false;
    exchange.lent.push_back(buffer);
    Request lending;
    lending.kind = RequestKind::Buffer;
    lending.requestId = exchange.id;
    lending.bufferId = buffer->id();
    lending.bufferBytes = buffer->bytes();
    return sendWithin(exchange, std::as_bytes(std::span(&lending, 1)), buffer->descriptor());
}

} // namespace kavelora::picture
