// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/helper/decoder_client.h"

#include "platform/runtime_error.h"
#include "protocol/socket_messages.h"
#include "protocol/socket_wait.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <vector>

namespace kavelora::picture {

using platform::ErrorNumber;
using platform::RuntimeError;
using Clock = std::chrono::steady_clock;
using protocol::Reply;
using protocol::ReplyKind;
using protocol::Request;
using protocol::RequestKind;

DecoderClient::DecoderClient(std::unique_ptr<HelperLauncher> launcher,
                             std::chrono::milliseconds timeLimit)
    : m_helper(std::move(launcher))
    , m_timeLimit(timeLimit)
{}

struct DecoderClient::Exchange
{
    Clock::time_point deadline;
    std::uint32_t id = 0;
    std::vector<std::shared_ptr<SharedBuffer>> lent;
    Reply reply;
    // What a helper said before it ended, when it said it cannot start.
    std::optional<Reply> lastWord;
};

DecodeResult DecoderClient::decode(PictureFile& file, QSize cover, QSize held)
{
    Request asked;
    asked.kind = RequestKind::Decode;
    asked.coverWidth = std::max(cover.width(), 0);
    asked.coverHeight = std::max(cover.height(), 0);
    asked.heldWidth = std::max(held.width(), 0);
    asked.heldHeight = std::max(held.height(), 0);
    std::optional<DecodeResult> decoded = request(file, asked);
    if (!decoded)
        throw RuntimeError(ErrorNumber::InvalidPicture);
    return std::move(*decoded);
}

std::optional<DecodeResult> DecoderClient::frame(PictureFile& file, std::uint32_t animation,
                                                 int index)
{
    Request asked;
    asked.kind = RequestKind::Frame;
    asked.animation = animation;
    asked.frameIndex = index;
    return request(file, asked);
}

std::optional<DecodeResult> DecoderClient::request(PictureFile& file, const Request& asked)
{
    if (m_helper.isStarting())
        throw RuntimeError(ErrorNumber::DeviceUnavailable);
    m_helper.start();
    if (m_helper.socket() < 0)
        throw RuntimeError(ErrorNumber::DeviceUnavailable);
    Request sent = asked;
    sent.fileSize = file.size();
    // 0 is the id of what the helper says unasked.
    if (++m_lastRequestId == 0)
        ++m_lastRequestId;
    sent.requestId = m_lastRequestId;
    Exchange exchange{Clock::now() + m_timeLimit, sent.requestId, {}, {}, {}};
    if (!sendRequest(exchange, std::as_bytes(std::span(&sent, 1)), file.descriptor()))
        fail(protocol::timeLeft(exchange.deadline).count() ? Outcome::Ended : Outcome::TimedOut);
    const Outcome outcome = converse(exchange);
    if (outcome != Outcome::Replied)
        fail(outcome, exchange.lastWord);
    const bool betweenLoops =
        asked.kind != RequestKind::Frame || exchange.reply.kind == ReplyKind::NoFrame;
    m_helper.served(exchange.reply.retiring != 0, betweenLoops);
    switch (exchange.reply.kind) {
    case ReplyKind::Failed:
        throw RuntimeError(static_cast<ErrorNumber>(exchange.reply.errorNumber));
    case ReplyKind::NoFrame:
        return std::nullopt;
    case ReplyKind::Unchanged:
        return DecodeResult{QImage(), protocol::ownSize(exchange.reply), {}, false, 0, 0, 0};
    default:
        return decodedFrom(exchange, asked);
    }
}

// Sends the request with the file's descriptor; a helper that ended while idle, before its end
// was noticed, is replaced once and the request goes to the fresh one.
bool DecoderClient::sendRequest(Exchange& exchange, std::span<const std::byte> message, int file)
{
    if (sendWithin(exchange, message, file))
        return true;
    if (!protocol::timeLeft(exchange.deadline).count())
        fail(Outcome::TimedOut);
    if (!m_helper.isReady())
        fail(Outcome::Ended);
    m_helper.replaceNow();
    if (m_helper.socket() < 0)
        throw RuntimeError(ErrorNumber::DeviceUnavailable);
    return sendWithin(exchange, message, file);
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
            if (m_helper.isReady())
                return Outcome::Broken;
            m_helper.markReady();
            continue;
        }
        if (!m_helper.isReady() || reply.requestId != exchange.id)
            return Outcome::Broken;
        if (reply.kind != ReplyKind::NeedBuffer)
            return Outcome::Replied;
        if (!lendBuffer(exchange, reply.bufferBytes))
            return protocol::timeLeft(exchange.deadline).count() ? Outcome::Broken
                                                                 : Outcome::TimedOut;
    }
}

DecoderClient::Outcome DecoderClient::nextReply(Exchange& exchange, Reply& reply)
{
    if (!protocol::waitForSocket(m_helper.socket(), POLLIN, exchange.deadline))
        return Outcome::TimedOut;
    const std::optional<protocol::ReceivedMessage> message =
        protocol::receiveMessage(m_helper.socket(), sizeof(Reply), 0);
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
        m_helper.replaceLater();
        throw RuntimeError(ErrorNumber::DeviceTimeout);
    case Outcome::Ended:
        // One that ended before it was ready, or said it cannot start, failed to start.
        if (!m_helper.isReady() || lastWord) {
            m_helper.failedToStart(lastWord);
            throw RuntimeError(ErrorNumber::DeviceUnavailable);
        }
        break;
    case Outcome::Broken:
    case Outcome::Replied:
        break;
    }
    m_helper.replaceLater();
    throw RuntimeError(ErrorNumber::InvalidPicture);
}

bool DecoderClient::sendWithin(const Exchange& exchange, std::span<const std::byte> message,
                               int descriptor)
{
    for (;;) {
        if (protocol::sendMessage(m_helper.socket(), message, std::span(&descriptor, 1)))
            return true;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        if (!protocol::waitForSocket(m_helper.socket(), POLLOUT, exchange.deadline))
            return false;
    }
}

DecodeResult DecoderClient::decodedFrom(const Exchange& exchange, const Request& asked)
{
    const Reply& reply = exchange.reply;
    // A frame comes in order, or the animation starts again from its first.
    if (asked.kind == RequestKind::Frame && reply.frameIndex != asked.frameIndex &&
        reply.frameIndex != 0)
        fail(Outcome::Broken);
    const auto buffer =
        std::find_if(exchange.lent.begin(), exchange.lent.end(),
                     [&](const auto& lent) { return lent->id() == reply.bufferId; });
    const QSize size = protocol::decodedSize(reply);
    // A buffer the helper still writes, or one it sealed itself, is not taken back.
    if (buffer == exchange.lent.end() ||
        static_cast<std::int64_t>(reply.bytesPerLine) * size.height() > (*buffer)->bytes() ||
        !(*buffer)->takeBack())
        fail(Outcome::Broken);
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
    return sendWithin(exchange, std::as_bytes(std::span(&lending, 1)), buffer->descriptor());
}

} // namespace kavelora::picture
