// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/helper/decoder_client.h"

#include "picture/when_finished.h"
#include "protocol/socket_messages.h"
#include "protocol/socket_wait.h"

#include <QPromise>

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <vector>

namespace kavelora::picture {

using platform::ErrorNumber;
using platform::RuntimeError;
using Clock = std::chrono::steady_clock;
using protocol::Reply;
using protocol::ReplyKind;
using protocol::Request;
using protocol::RequestKind;

struct DecoderClient::Pending
{
    std::shared_ptr<PictureFile> file;
    Request asked;
    // Whether whoever asked has given up on the answer, besides cancelling promise's future.
    std::function<bool()> abandoned;
    QPromise<std::optional<DecodeResult>> promise;
};

struct DecoderClient::Exchange
{
    std::unique_ptr<Pending> pending;
    std::uint32_t id = 0;
    std::vector<std::shared_ptr<SharedBuffer>> lent;
    Reply reply;
    // What a helper said before it ended, when it said it cannot start.
    std::optional<Reply> lastWord;
};

DecoderClient::DecoderClient(std::unique_ptr<HelperLauncher> launcher,
                             std::chrono::milliseconds timeLimit)
    : m_helper(std::move(launcher))
    , m_timeLimit(timeLimit)
{
    m_timeLimitTimer.setSingleShot(true);
    QObject::connect(&m_timeLimitTimer, &QTimer::timeout, &m_timeLimitTimer,
                     [this] { onTimeLimit(); });
}

DecoderClient::~DecoderClient()
{
    m_helper.passMessagesTo({});
}

QFuture<DecodeResult> DecoderClient::decode(std::shared_ptr<PictureFile> file, QSize cover,
                                            QSize held)
{
    Request asked;
    asked.kind = RequestKind::Decode;
    asked.coverWidth = std::max(cover.width(), 0);
    asked.coverHeight = std::max(cover.height(), 0);
    asked.heldWidth = std::max(held.width(), 0);
    asked.heldHeight = std::max(held.height(), 0);
    // A future of its own, so that cancelling it reaches the request waiting its turn.
    auto decoded = std::make_shared<QPromise<DecodeResult>>();
    decoded->start();
    queue(std::move(file), asked, [decoded] {
        return decoded->isCanceled();
    }).then([decoded](const QFuture<std::optional<DecodeResult>>& replied) {
        fulfil(*decoded, [&] {
            std::optional<DecodeResult> result = finishedResult(replied);
            if (!result)
                throw RuntimeError(ErrorNumber::InvalidPicture);
            return std::move(*result);
        });
    });
    return decoded->future();
}

QFuture<std::optional<DecodeResult>> DecoderClient::frame(std::shared_ptr<PictureFile> file,
                                                          std::uint32_t animation, int index)
{
    Request asked;
    asked.kind = RequestKind::Frame;
    asked.animation = animation;
    asked.frameIndex = index;
    return queue(std::move(file), asked, {});
}

QFuture<std::optional<DecodeResult>> DecoderClient::queue(std::shared_ptr<PictureFile> file,
                                                          const Request& asked,
                                                          std::function<bool()> abandoned)
{
    auto pending =
        std::make_unique<Pending>(Pending{std::move(file), asked, std::move(abandoned), {}});
    QFuture<std::optional<DecodeResult>> future = pending->promise.future();
    pending->promise.start();
    m_waiting.push_back(std::move(pending));
    serveNext();
    return future;
}

// Begins the next request unless one is under way; those that fail before they reach the
// helper end at once, and the next one begins.
void DecoderClient::serveNext()
{
    // A request that ends while the next one begins must not begin a third.
    if (m_serving)
        return;
    m_serving = true;
    while (!m_exchange && !m_waiting.empty()) {
        std::unique_ptr<Pending> pending = std::move(m_waiting.front());
        m_waiting.pop_front();
        if (pending->promise.isCanceled() || (pending->abandoned && pending->abandoned())) {
            pending->promise.finish();
            continue;
        }
        m_exchange = std::make_unique<Exchange>();
        m_exchange->pending = std::move(pending);
        try {
            begin(*m_exchange->pending);
        } catch (const RuntimeError& error) {
            finish(error);
        }
    }
    m_serving = false;
}

void DecoderClient::begin(Pending& pending)
{
    if (m_helper.isStarting())
        throw RuntimeError(ErrorNumber::DeviceUnavailable);
    m_helper.start();
    if (m_helper.socket() < 0)
        throw RuntimeError(ErrorNumber::DeviceUnavailable);
    Request sent = pending.asked;
    sent.fileSize = pending.file->size();
    // 0 is the id of what the helper says unasked.
    if (++m_lastRequestId == 0)
        ++m_lastRequestId;
    sent.requestId = m_lastRequestId;
    m_exchange->id = sent.requestId;
    if (!sendRequest(std::as_bytes(std::span(&sent, 1)), pending.file->descriptor()))
        throw failure(Outcome::Ended);
    m_helper.passMessagesTo([this] { onMessages(); });
    m_timeLimitTimer.start(m_timeLimit);
}

// Sends the request with the file's descriptor; a helper that ended while idle, before its end
// was noticed, is replaced once and the request goes to the fresh one.
bool DecoderClient::sendRequest(std::span<const std::byte> message, int file)
{
    if (sendNow(message, file))
        return true;
    if (!m_helper.isReady())
        return false;
    m_helper.replaceNow();
    if (m_helper.socket() < 0)
        throw RuntimeError(ErrorNumber::DeviceUnavailable);
    return sendNow(message, file);
}

// Reads every message the helper has sent, lending it buffers on the way, until its final
// reply or a failure.
void DecoderClient::onMessages()
{
    if (!m_exchange)
        return;
    Outcome outcome = Outcome::Waiting;
    while (outcome == Outcome::Waiting &&
           protocol::waitForSocket(m_helper.socket(), POLLIN, Clock::now()))
        outcome = nextStep(*m_exchange);
    if (outcome == Outcome::Waiting)
        return;
    try {
        if (outcome != Outcome::Replied)
            throw failure(outcome, m_exchange->lastWord);
        finish(resultOf(*m_exchange));
    } catch (const RuntimeError& error) {
        finish(error);
    }
    serveNext();
}

void DecoderClient::onTimeLimit()
{
    if (!m_exchange)
        return;
    finish(failure(Outcome::TimedOut));
    serveNext();
}

void DecoderClient::finish(std::optional<DecodeResult> result)
{
    const std::unique_ptr<Pending> served = endExchange();
    served->promise.addResult(std::move(result));
    served->promise.finish();
}

void DecoderClient::finish(const RuntimeError& error)
{
    const std::unique_ptr<Pending> served = endExchange();
    served->promise.setException(std::make_exception_ptr(error));
    served->promise.finish();
}

// The request under way, its exchange over: the helper's messages go to the idle watch again.
std::unique_ptr<DecoderClient::Pending> DecoderClient::endExchange()
{
    const std::unique_ptr<Exchange> exchange = std::move(m_exchange);
    m_timeLimitTimer.stop();
    m_helper.passMessagesTo({});
    return std::move(exchange->pending);
}

// One message of the helper's: Waiting when more must come.
DecoderClient::Outcome DecoderClient::nextStep(Exchange& exchange)
{
    const std::optional<protocol::ReceivedMessage> message =
        protocol::receiveMessage(m_helper.socket(), sizeof(Reply), 0);
    if (!message)
        return Outcome::Ended;
    const std::optional<Reply> parsed = protocol::parseReply(message->bytes);
    if (!parsed)
        return Outcome::Broken;
    Reply& reply = exchange.reply;
    reply = *parsed;
    if (reply.kind == ReplyKind::CannotStart) {
        exchange.lastWord = reply;
        return Outcome::Ended;
    }
    if (reply.kind == ReplyKind::Ready) {
        if (m_helper.isReady())
            return Outcome::Broken;
        m_helper.markReady();
        return Outcome::Waiting;
    }
    if (!m_helper.isReady() || reply.requestId != exchange.id)
        return Outcome::Broken;
    if (reply.kind != ReplyKind::NeedBuffer)
        return Outcome::Replied;
    return lendBuffer(exchange, reply.bufferBytes) ? Outcome::Waiting : Outcome::Broken;
}

RuntimeError DecoderClient::failure(Outcome outcome, const std::optional<Reply>& lastWord)
{
    switch (outcome) {
    case Outcome::TimedOut:
        m_helper.replaceLater();
        return RuntimeError(ErrorNumber::DeviceTimeout);
    case Outcome::Ended:
        // One that ended before it was ready, or said it cannot start, failed to start.
        if (!m_helper.isReady() || lastWord) {
            m_helper.failedToStart(lastWord);
            return RuntimeError(ErrorNumber::DeviceUnavailable);
        }
        break;
    case Outcome::Broken:
    case Outcome::Replied:
    case Outcome::Waiting:
        break;
    }
    m_helper.replaceLater();
    return RuntimeError(ErrorNumber::InvalidPicture);
}

// The helper reads its socket whenever it waits for the viewer, and a request and its
// buffers are a few small messages: a socket too full for them means a helper that stopped
// reading, which counts as broken rather than be waited for.
bool DecoderClient::sendNow(std::span<const std::byte> message, int descriptor)
{
    return protocol::sendMessage(m_helper.socket(), message, std::span(&descriptor, 1));
}

std::optional<DecodeResult> DecoderClient::resultOf(const Exchange& exchange)
{
    const bool betweenLoops = exchange.pending->asked.kind != RequestKind::Frame ||
                              exchange.reply.kind == ReplyKind::NoFrame;
    const Reply& reply = exchange.reply;
    const Request& asked = exchange.pending->asked;
    m_helper.served(reply.retiring != 0, betweenLoops);
    switch (reply.kind) {
    case ReplyKind::Failed:
        throw RuntimeError(static_cast<ErrorNumber>(reply.errorNumber));
    case ReplyKind::NoFrame:
        return std::nullopt;
    case ReplyKind::Unchanged:
        return DecodeResult{QImage(), protocol::ownSize(reply), {}, false, 0, 0, 0};
    default:
        break;
    }
    // A frame comes in order, or the animation starts again from its first.
    if (asked.kind == RequestKind::Frame && reply.frameIndex != asked.frameIndex &&
        reply.frameIndex != 0)
        throw failure(Outcome::Broken);
    const auto buffer =
        std::find_if(exchange.lent.begin(), exchange.lent.end(),
                     [&](const auto& lent) { return lent->id() == reply.bufferId; });
    const QSize size = protocol::decodedSize(reply);
    // A buffer the helper still writes, or one it sealed itself, is not taken back.
    if (buffer == exchange.lent.end() ||
        static_cast<std::int64_t>(reply.bytesPerLine) * size.height() > (*buffer)->bytes() ||
        !(*buffer)->takeBack())
        throw failure(Outcome::Broken);
    QImage image =
        imageIn(*buffer, size, reply.bytesPerLine, static_cast<QImage::Format>(reply.pixelFormat));
    return DecodeResult{std::move(image),
                        protocol::ownSize(reply),
                        protocol::formatName(reply),
                        reply.animated != 0,
                        reply.delayMs,
                        reply.loopCount,
                        reply.frameIndex};
}

bool DecoderClient::lendBuffer(Exchange& exchange, std::int64_t bytes)
{
    if (exchange.lent.size() >= protocol::kMaxBuffersPerRequest)
        return false;
    std::shared_ptr<SharedBuffer> buffer = SharedBuffer::create(m_nextBufferId++, bytes);
    if (!buffer)
        return false;
    exchange.lent.push_back(buffer);
    Request lending;
    lending.kind = RequestKind::Buffer;
    lending.requestId = exchange.id;
    lending.bufferId = buffer->id();
    lending.bufferBytes = buffer->bytes();
    return sendNow(std::as_bytes(std::span(&lending, 1)), buffer->descriptor());
}

} // namespace kavelora::picture
