// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

#include "picture/helper/helper_supervisor.h"

#include "protocol/socket_messages.h"
#include "protocol/socket_wait.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace kavelora::picture {

using protocol::Reply;
using protocol::ReplyKind;

namespace {

Q_LOGGING_CATEGORY(decoderHelperLog, "kavelora.decoder")

// A helper whose socket has closed is on its way out; how it ended is worth this long a wait.
constexpr std::chrono::milliseconds kEndWait{100};

using Clock = std::chrono::steady_clock;

// Marks a start under way while it lives. Starting a helper serves the GUI thread's timers, and
// a timer's request must not cut into the conversation under way.
class StartingFlag
{
public:
    explicit StartingFlag(bool& starting)
        : m_starting(starting)
    {
        m_starting = true;
    }
    ~StartingFlag() { m_starting = false; }
    StartingFlag(const StartingFlag&) = delete;
    StartingFlag& operator=(const StartingFlag&) = delete;

private:
    bool& m_starting;
};

} // namespace

HelperSupervisor::HelperSupervisor(std::unique_ptr<HelperLauncher> launcher)
    : m_launcher(std::move(launcher))
{}

HelperSupervisor::~HelperSupervisor()
{
    stop();
    delete m_restart.data();
}

void HelperSupervisor::start()
{
    if (m_starting)
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
    reapLeftProcesses();
    LaunchedHelper launched;
    {
        const StartingFlag starting(m_starting);
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
    m_retirementDue = false;
    watchForExit();
}

void HelperSupervisor::stop()
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

void HelperSupervisor::served(bool retiring, bool betweenLoops)
{
    m_backoff.succeeded();
    if (retiring || ++m_requestsServed >= kRequestsPerHelper)
        m_retirementDue = true;
    // In the middle of an animation's loop it waits for the loop's end, where the next frame
    // is the first one anyway.
    if (m_retirementDue && (betweenLoops || m_requestsServed >= kRequestsPerHelperAtMost))
        replaceLater();
}

void HelperSupervisor::replaceLater()
{
    stop();
    startLater();
}

void HelperSupervisor::replaceNow()
{
    stop();
    start();
}

void HelperSupervisor::failedToStart(const std::optional<Reply>& lastWord)
{
    const QString reason = endReason(lastWord);
    stop();
    noteStartFailure(reason);
}

void HelperSupervisor::noteStartFailure(const QString& reason)
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
void HelperSupervisor::startLater()
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
        m_restart->start(protocol::timeLeft(m_backoff.nextStart()));
}

QString HelperSupervisor::endReason(std::optional<Reply> lastWord)
{
    // Its last word may still wait unread behind what failed first.
    for (int message = 0; !lastWord && message < 4; ++message) {
        if (!m_socket.isValid() || !protocol::waitForSocket(m_socket.get(), POLLIN, Clock::now()))
            break;
        const std::optional<protocol::ReceivedMessage> received =
            protocol::receiveMessage(m_socket.get(), sizeof(Reply), 0);
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
// takes its place. During a request the same watch hands its messages to the conversation.
void HelperSupervisor::watchForExit()
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return;
    m_exitWatch = new QSocketNotifier(m_socket.get(), QSocketNotifier::Read, application);
    QObject::connect(m_exitWatch, &QSocketNotifier::activated, m_exitWatch,
                     [this] { onIdleMessage(); });
}

void HelperSupervisor::onIdleMessage()
{
    if (m_starting)
        return;
    if (m_conversation) {
        // A copy: the conversation may end, and empty m_conversation, while it runs.
        const std::function<void()> conversation = m_conversation;
        conversation();
        return;
    }
    char first = 0;
    const ssize_t waiting = ::recv(m_socket.get(), &first, 1, MSG_PEEK | MSG_DONTWAIT);
    if (waiting < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    std::optional<Reply> said;
    if (waiting > 0) {
        const std::optional<protocol::ReceivedMessage> message =
            protocol::receiveMessage(m_socket.get(), sizeof(Reply), 0);
        said = message ? protocol::parseReply(message->bytes) : std::nullopt;
        if (said && said->kind == ReplyKind::Ready && !m_ready) {
            m_ready = true;
            return;
        }
    }
    // One that never served a request may not be able to: it waits its turn.
    if (!m_ready || m_requestsServed == 0) {
        const bool cannotStart = said && said->kind == ReplyKind::CannotStart;
        failedToStart(cannotStart ? said : std::nullopt);
        return;
    }
    replaceNow();
}

} // namespace kavelora::picture
