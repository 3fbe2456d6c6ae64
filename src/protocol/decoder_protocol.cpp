// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "protocol/decoder_protocol.h"

#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <cstring>
#include <type_traits>

namespace kavelora::protocol {

namespace {

// errno values are small; Linux's largest is 133.
constexpr std::int32_t kMaxSystemError = 4095;

// No side of a picture any accepted format can describe is longer.
constexpr std::int32_t kMaxSide = 1 << 20;

template<typename Message> std::optional<Message> copied(std::span<const std::byte> bytes)
{
    static_assert(std::is_trivially_copyable_v<Message>);
    if (bytes.size() != sizeof(Message))
        return std::nullopt;
    Message message;
    std::memcpy(&message, bytes.data(), sizeof message);
    if (message.magic != kMagic)
        return std::nullopt;
    return message;
}

bool isSide(std::int32_t side)
{
    return side > 0 && side <= kMaxSide;
}

bool isSideOrNone(std::int32_t side)
{
    return side >= 0 && side <= kMaxSide;
}

bool isKnownError(std::int32_t number)
{
    using platform::ErrorNumber;
    switch (static_cast<ErrorNumber>(number)) {
    case ErrorNumber::OutOfMemory:
    case ErrorNumber::PathFileAccess:
    case ErrorNumber::InvalidPicture:
        return true;
    default:
        return false;
    }
}

// A short lowercase name such as "png", ended within the field.
bool isFormatName(const char (&name)[8])
{
    const void* end = std::memchr(name, '\0', sizeof name);
    if (end == nullptr || end == name)
        return false;
    for (const char* letter = name; letter != end; ++letter) {
        if (*letter < 'a' || *letter > 'z')
            return false;
    }
    return true;
}

bool isValidDecoded(const Reply& reply)
{
    // A number outside the enumeration may not even be cast to it.
    if (reply.pixelFormat >= QImage::NImageFormats)
        return false;
    const auto format = static_cast<QImage::Format>(reply.pixelFormat);
    if (!isSide(reply.width) || !isSide(reply.height) || !isSide(reply.ownWidth) ||
        !isSide(reply.ownHeight) || !isSharedPixelFormat(format))
        return false;
    if (static_cast<qint64>(reply.width) * reply.height > kMaxPicturePixels)
        return false;
    const qint64 rowBytes = static_cast<qint64>(reply.width) * bytesPerPixel(format);
    if (reply.bytesPerLine < rowBytes || reply.bytesPerLine % 4 != 0 ||
        static_cast<qint64>(reply.bytesPerLine) * reply.height > kMaxBufferBytes)
        return false;
    return reply.delayMs >= 0 && reply.delayMs <= 655350 && reply.loopCount >= -1 &&
           reply.animated <= 1 && isFormatName(reply.format);
}

} // namespace

bool isSharedPixelFormat(QImage::Format format)
{
    switch (format) {
    case QImage::Format_Grayscale8:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return true;
    default:
        return false;
    }
}

int bytesPerPixel(QImage::Format format)
{
    return format == QImage::Format_Grayscale8 ? 1 : 4;
}

std::optional<Request> parseRequest(std::span<const std::byte> bytes)
{
    std::optional<Request> request = copied<Request>(bytes);
    if (!request)
        return std::nullopt;
    switch (request->kind) {
    case RequestKind::Decode:
        if (request->fileSize < 0 || request->fileSize > kMaxPictureFileBytes ||
            !isSideOrNone(request->coverWidth) || !isSideOrNone(request->coverHeight) ||
            !isSideOrNone(request->heldWidth) || !isSideOrNone(request->heldHeight))
            return std::nullopt;
        return request;
    case RequestKind::Frame:
        if (request->fileSize < 0 || request->fileSize > kMaxPictureFileBytes ||
            request->frameIndex < 0)
            return std::nullopt;
        return request;
    case RequestKind::Buffer:
        if (request->bufferBytes <= 0 || request->bufferBytes > kMaxBufferBytes)
            return std::nullopt;
        return request;
    }
    return std::nullopt;
}

std::optional<Reply> parseReply(std::span<const std::byte> bytes)
{
    std::optional<Reply> reply = copied<Reply>(bytes);
    if (!reply || reply->retiring > 1)
        return std::nullopt;
    switch (reply->kind) {
    case ReplyKind::Failed:
        if (!isKnownError(reply->errorNumber))
            return std::nullopt;
        return reply;
    case ReplyKind::NeedBuffer:
        if (reply->bufferBytes <= 0 || reply->bufferBytes > kMaxBufferBytes)
            return std::nullopt;
        return reply;
    case ReplyKind::Decoded:
        if (!isValidDecoded(*reply))
            return std::nullopt;
        return reply;
    case ReplyKind::Unchanged:
        if (!isSide(reply->ownWidth) || !isSide(reply->ownHeight))
            return std::nullopt;
        return reply;
    case ReplyKind::NoFrame:
        return reply;
    case ReplyKind::Ready:
        if (reply->requestId != 0)
            return std::nullopt;
        return reply;
    case ReplyKind::CannotStart:
        if (reply->requestId != 0 ||
            reply->errorNumber != static_cast<std::int32_t>(StartFailure::CannotLock) ||
            reply->systemError < 0 || reply->systemError > kMaxSystemError)
            return std::nullopt;
        return reply;
    }
    return std::nullopt;
}

QByteArray formatName(const Reply& reply)
{
    return QByteArray(reply.format,
                      static_cast<qsizetype>(strnlen(reply.format, sizeof reply.format)));
}

QSize decodedSize(const Reply& reply)
{
    return QSize(reply.width, reply.height);
}

QSize ownSize(const Reply& reply)
{
    return QSize(reply.ownWidth, reply.ownHeight);
}

} // namespace kavelora::protocol
