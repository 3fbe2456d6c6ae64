// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "protocol/picture_limits.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// The messages between the viewer and its decoder helper, one per datagram on a Unix
// socket. Both ends are built together, so a message is its struct's bytes; each side parses
// what the other sent as untrusted input.
namespace kavelora::protocol {

inline constexpr std::uint32_t kMagic = 0x4b564431; // "KVD1"

// The largest shared buffer a decode may ask for: a picture at the pixel cap, four bytes each.
inline constexpr std::int64_t kMaxBufferBytes = kMaxPictureBytes;
// The buffers one request may be lent: one to decode into, and at most one more to copy into.
inline constexpr std::size_t kMaxBuffersPerRequest = 2;

enum class RequestKind : std::uint32_t {
    // Decode the file whose descriptor comes along, covering cover.
    Decode = 1,
    // The frame numbered frameIndex of the animation in the file that comes along.
    Frame = 2,
    // The shared buffer the helper asked for; its descriptor comes along.
    Buffer = 3,
};

struct Request
{
    std::uint32_t magic = kMagic;
    RequestKind kind = RequestKind::Decode;
    // Every reply to the request, and every buffer lent for it, carries the request's id.
    std::uint32_t requestId = 0;
    std::int64_t fileSize = 0;
    std::int32_t coverWidth = 0;
    std::int32_t coverHeight = 0;
    // The size the viewer holds already: a decode that would give it again is not done.
    std::int32_t heldWidth = 0;
    std::int32_t heldHeight = 0;
    std::uint32_t animation = 0;
    std::int32_t frameIndex = 0;
    std::uint32_t bufferId = 0;
    std::int64_t bufferBytes = 0;
};

enum class ReplyKind : std::uint32_t {
    Failed = 1,
    NeedBuffer = 2,
    Decoded = 3,
    // The decode would give the size held already.
    Unchanged = 4,
    // The animation has no frame of that number.
    NoFrame = 5,
    // The helper's first message: it has locked itself and takes requests. Its id is 0.
    Ready = 6,
    // The helper's last message when it cannot start: errorNumber holds a StartFailure and
    // systemError the errno that went with it. Its id is 0.
    CannotStart = 7,
};

// Why a helper could not start.
enum class StartFailure : std::int32_t {
    // Its lock-down failed: no seccomp filter, for instance, in a container that forbids it.
    CannotLock = 1,
};

// The helper's exit status when it could not start; any other status of a helper that never
// said Ready is a crash at start.
inline constexpr int kCannotStartExitStatus = 71;

struct Reply
{
    std::uint32_t magic = kMagic;
    ReplyKind kind = ReplyKind::Failed;
    std::uint32_t requestId = 0;
    std::int32_t errorNumber = 0;
    std::int32_t systemError = 0;
    std::int64_t bufferBytes = 0;
    std::uint32_t bufferId = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bytesPerLine = 0;
    std::uint32_t pixelFormat = 0;
    std::int32_t ownWidth = 0;
    std::int32_t ownHeight = 0;
    std::uint32_t animated = 0;
    std::int32_t delayMs = 0;
    std::int32_t loopCount = 0;
    // Which frame of an animation the pixels are.
    std::int32_t frameIndex = 0;
    // Set on the last reply of a helper that has used up its processor time: the viewer
    // replaces it before the next request.
    std::uint32_t retiring = 0;
    char format[8] = {};
};

// The pixel formats a decoded picture crosses in: none of them indexes a colour table.
bool isSharedPixelFormat(QImage::Format format);
int bytesPerPixel(QImage::Format format);

// The request in bytes, if it is well formed.
std::optional<Request> parseRequest(std::span<const std::byte> bytes);

// The reply in bytes, if it is well formed and every size in it is within the viewer's own
// caps: sides and pixel count, a row length that holds the row, a pixel format of the list,
// a format name of the allow-list.
std::optional<Reply> parseReply(std::span<const std::byte> bytes);

QByteArray formatName(const Reply& reply);
QSize decodedSize(const Reply& reply);
QSize ownSize(const Reply& reply);

} // namespace kavelora::protocol
