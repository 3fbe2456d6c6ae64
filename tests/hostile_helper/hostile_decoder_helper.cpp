// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// A decoder helper taken over by a hostile file, as tst_hostile_helper starts it: it speaks
// the protocol, and breaks it in the one way its argument names. Built only with the tests.

#include "protocol/decoder_protocol.h"
#include "protocol/socket_messages.h"

#include <QImage>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace protocol = kavelora::protocol;
using namespace kavelora::protocol;
using protocol::Reply;
using protocol::ReplyKind;
using protocol::Request;
using protocol::RequestKind;

namespace {

constexpr int kSocket = 3;
// Every picture it gives is this many pixels square, four bytes each.
constexpr int kSide = 4;
constexpr std::int64_t kPictureBytes = kSide * kSide * 4;

bool send(Reply reply)
{
    return sendMessage(kSocket, reply);
}

std::optional<Request> receive()
{
    std::optional<ReceivedMessage> message = receiveMessage(kSocket, sizeof(Request), 1);
    if (!message)
        return std::nullopt;
    return protocol::parseRequest(message->bytes);
}

struct Lent
{
    std::uint32_t id = 0;
    std::uint32_t* pixels = nullptr;
};

// Asks for a buffer for the request and maps it for good: this helper keeps what it maps.
std::optional<Lent> askForBuffer(std::uint32_t requestId, std::int64_t bytes)
{
    Reply ask;
    ask.kind = ReplyKind::NeedBuffer;
    ask.requestId = requestId;
    ask.bufferBytes = bytes;
    if (!send(ask))
        return std::nullopt;
    std::optional<ReceivedMessage> message = receiveMessage(kSocket, sizeof(Request), 1);
    if (!message || message->descriptors.empty())
        return std::nullopt;
    const std::optional<Request> lent = protocol::parseRequest(message->bytes);
    if (!lent || lent->kind != RequestKind::Buffer)
        return std::nullopt;
    void* address = ::mmap(nullptr, static_cast<std::size_t>(lent->bufferBytes),
                           PROT_READ | PROT_WRITE, MAP_SHARED, message->descriptors[0].get(), 0);
    if (address == MAP_FAILED)
        return std::nullopt;
    return Lent{lent->bufferId, static_cast<std::uint32_t*>(address)};
}

void fill(const Lent& buffer, std::uint32_t colour)
{
    for (int pixel = 0; pixel < kSide * kSide; ++pixel)
        buffer.pixels[pixel] = colour;
}

Reply decoded(std::uint32_t requestId, std::uint32_t bufferId)
{
    Reply reply;
    reply.kind = ReplyKind::Decoded;
    reply.requestId = requestId;
    reply.bufferId = bufferId;
    reply.width = reply.ownWidth = kSide;
    reply.height = reply.ownHeight = kSide;
    reply.bytesPerLine = kSide * 4;
    reply.pixelFormat = QImage::Format_RGB32;
    std::memcpy(reply.format, "png", 3);
    return reply;
}

Reply failed(std::uint32_t requestId)
{
    Reply reply;
    reply.kind = ReplyKind::Failed;
    reply.requestId = requestId;
    reply.errorNumber = 481;
    return reply;
}

// Answers each request as behaviour says; false when the conversation is over.
bool serve(std::string_view behaviour, const Request& request, std::vector<Lent>& kept)
{
    const std::uint32_t id = request.requestId;
    if (behaviour == "rewrite-after-reply" && !kept.empty()) {
        // The picture the viewer took already turns blue under it.
        fill(kept.front(), 0xff0000ffU);
        return send(failed(id));
    }
    if (behaviour == "more-buffers-than-a-decode-needs") {
        for (int asked = 0; asked < 8; ++asked) {
            if (!askForBuffer(id, kPictureBytes))
                return false;
        }
    }
    std::optional<Lent> buffer = askForBuffer(id, kPictureBytes);
    if (!buffer)
        return false;
    fill(*buffer, 0xffff0000U);
    if (behaviour == "honest") {
        // As the real helper does: nothing of the buffer stays in its hands.
        ::munmap(buffer->pixels, static_cast<std::size_t>(kPictureBytes));
        return send(decoded(id, buffer->id));
    }
    kept.push_back(*buffer);
    if (behaviour == "foreign-buffer")
        return send(decoded(id, buffer->id + 1000));
    if (behaviour == "wrong-id")
        return send(decoded(id + 1, buffer->id));
    if (behaviour == "stray-ready") {
        Reply ready;
        ready.kind = ReplyKind::Ready;
        send(ready);
    }
    return send(decoded(id, buffer->id));
}

} // namespace

int main(int argumentCount, char** arguments)
{
    const std::string_view behaviour = argumentCount > 1 ? arguments[1] : "";
    if (behaviour == "exit-at-once")
        return 0;
    if (behaviour == "cannot-lock") {
        Reply cannot;
        cannot.kind = ReplyKind::CannotStart;
        cannot.errorNumber = static_cast<std::int32_t>(protocol::StartFailure::CannotLock);
        cannot.systemError = EPERM;
        send(cannot);
        return protocol::kCannotStartExitStatus;
    }
    Reply ready;
    ready.kind = ReplyKind::Ready;
    if (!send(ready))
        return 1;
    std::vector<Lent> kept;
    while (const std::optional<Request> request = receive()) {
        if (behaviour == "silent")
            continue;
        if (!serve(behaviour, *request, kept))
            return 1;
    }
    return 0;
}
