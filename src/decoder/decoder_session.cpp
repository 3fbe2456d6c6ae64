// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/decoder_session.h"

#include "decoder/common/picture_stream.h"
#include "decoder/format_table.h"
#include "decoder/picture_decoder.h"
#include "platform/runtime_error.h"
#include "protocol/socket_messages.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <new>
#include <sys/mman.h>

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;
using protocol::Reply;
using protocol::ReplyKind;
using protocol::Request;
using protocol::RequestKind;

namespace {

// A request brings the picture file; a lent buffer may bring its own descriptor.
constexpr std::size_t kMaxDescriptorsPerMessage = 1;

void copyRows(const QImage& from, uchar* to, qsizetype bytesPerLine)
{
    const auto rowBytes =
        static_cast<std::size_t>(std::min<qsizetype>(from.bytesPerLine(), bytesPerLine));
    for (int y = 0; y < from.height(); ++y)
        std::memcpy(to + y * bytesPerLine, from.constScanLine(y), rowBytes);
}

// Palette and 16-bit formats become the 32-bit ones the viewer takes.
QImage inSharedFormat(QImage image)
{
    if (protocol::isSharedPixelFormat(image.format()))
        return image;
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                         : QImage::Format_RGB32);
}

qsizetype alignedRowBytes(int width, QImage::Format format)
{
    return (static_cast<qsizetype>(width) * protocol::bytesPerPixel(format) + 3) & ~qsizetype(3);
}

} // namespace

// A buffer the viewer lent, mapped for writing.
struct DecoderSession::Mapping
{
    Mapping(void* mapped, std::size_t length)
        : address(mapped)
        , bytes(length)
    {}
    ~Mapping() { ::munmap(address, bytes); }
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;

    uchar* data() const { return static_cast<uchar*>(address); }

    void* address;
    std::size_t bytes;
    std::uint32_t id = 0;
};

struct DecoderSession::Playing
{
    Playing(std::uint32_t number, const QByteArray& formatName, QByteArray bytes)
        : animation(number)
        , format(formatName)
        , frames(std::move(bytes), formatName)
    {}

    std::uint32_t animation;
    QByteArray format;
    FrameReader frames;
};

DecoderSession::DecoderSession(int socket, int cpuSecondsBudget)
    : m_socket(socket)
    , m_cpuSecondsBudget(cpuSecondsBudget)
{}

DecoderSession::~DecoderSession() = default;

bool DecoderSession::serveOne()
{
    std::optional<protocol::ReceivedMessage> message =
        protocol::receiveMessage(m_socket, sizeof(Request), kMaxDescriptorsPerMessage);
    if (!message)
        return false;
    const std::optional<Request> request = protocol::parseRequest(message->bytes);
    m_requestId = request ? request->requestId : 0;
    protocol::UniqueDescriptor file = message->descriptors.empty()
                                          ? protocol::UniqueDescriptor()
                                          : std::move(message->descriptors[0]);
    if (!request || request->kind == RequestKind::Buffer || !file.isValid())
        return replyFailure(static_cast<int>(ErrorNumber::InvalidPicture)) && !m_viewerGone;
    const bool frame = request->kind == RequestKind::Frame;
    int failure = 0;
    try {
        return frame ? playFrame(*request, std::move(file)) : decode(*request, std::move(file));
    } catch (const RuntimeError& error) {
        failure = error.number();
    } catch (const std::bad_alloc&) {
        failure = static_cast<int>(ErrorNumber::OutOfMemory);
    }
    // A frame that failed leaves the animation's reader in a state nobody can tell.
    if (frame)
        m_playing.reset();
    return replyFailure(failure);
}

bool DecoderSession::decode(const Request& request, protocol::UniqueDescriptor file)
{
    PictureStream stream(std::move(file), request.fileSize);
    const QSize cover(request.coverWidth, request.coverHeight);
    const QSize held(request.heldWidth, request.heldHeight);
    DecodedPicture decoded = decodePictureStream(
        stream, cover, held.isEmpty() ? QSize() : held,
        [this](QSize size, QImage::Format format) { return lendPixels(size, format); });
    Reply answer;
    answer.ownWidth = decoded.ownSize.width();
    answer.ownHeight = decoded.ownSize.height();
    if (decoded.image.isNull()) {
        answer.kind = ReplyKind::Unchanged;
        return reply(answer);
    }
    answer.animated = decoded.animated ? 1 : 0;
    std::strncpy(answer.format, decoded.format.constData(), sizeof answer.format - 1);
    return replyWithPixels(std::move(decoded.image), answer);
}

bool DecoderSession::playFrame(const Request& request, protocol::UniqueDescriptor file)
{
    const bool continues = m_playing && m_playing->animation == request.animation &&
                           m_playing->frames.framesRead() == request.frameIndex;
    // A helper that has not decoded the frames before the one asked for, a fresh one in the
    // middle of a loop, starts again from the first rather than decoding them all to get there.
    if (!continues) {
        PictureStream stream(std::move(file), request.fileSize);
        QByteArray bytes = stream.readAll();
        const QByteArray format = sniffPictureFormat(bytes);
        m_playing.reset();
        m_playing = std::make_unique<Playing>(request.animation, format, std::move(bytes));
    }
    const int index = m_playing->frames.framesRead();
    std::optional<FrameReader::Frame> frame = m_playing->frames.next();
    Reply answer;
    if (!frame) {
        answer.kind = ReplyKind::NoFrame;
        return reply(answer);
    }
    answer.animated = 1;
    answer.frameIndex = index;
    answer.ownWidth = frame->image.width();
    answer.ownHeight = frame->image.height();
    answer.delayMs = std::max(frame->delayMs, 0);
    answer.loopCount = std::max(m_playing->frames.loopCount(), -1);
    std::strncpy(answer.format, m_playing->format.constData(), sizeof answer.format - 1);
    return replyWithPixels(std::move(frame->image), answer);
}

QImage DecoderSession::lendPixels(QSize size, QImage::Format format)
{
    if (!protocol::isSharedPixelFormat(format) || size.isEmpty())
        return QImage(size, format);
    const qsizetype rowBytes = alignedRowBytes(size.width(), format);
    const std::int64_t bytes = static_cast<std::int64_t>(rowBytes) * size.height();
    Mapping* buffer = askForBuffer(bytes);
    if (!buffer)
        return QImage();
    return QImage(buffer->data(), size.width(), size.height(), rowBytes, format);
}

DecoderSession::Mapping* DecoderSession::askForBuffer(std::int64_t bytes)
{
    if (bytes <= 0 || bytes > protocol::kMaxBufferBytes ||
        m_lent.size() >= protocol::kMaxBuffersPerRequest)
        return nullptr;
    Reply ask;
    ask.kind = ReplyKind::NeedBuffer;
    ask.bufferBytes = bytes;
    if (!reply(ask))
        return nullptr;
    std::optional<protocol::ReceivedMessage> message =
        protocol::receiveMessage(m_socket, sizeof(Request), kMaxDescriptorsPerMessage);
    const std::optional<Request> lent =
        message ? protocol::parseRequest(message->bytes) : std::nullopt;
    if (!lent || lent->kind != RequestKind::Buffer || lent->bufferBytes < bytes ||
        message->descriptors.empty()) {
        m_viewerGone = true;
        return nullptr;
    }
    // The descriptor closes when it goes out of scope: the mapping is all the helper keeps.
    const auto length = static_cast<std::size_t>(lent->bufferBytes);
    void* address = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE,
                           message->descriptors[0].get(), 0);
    if (address == MAP_FAILED) {
        m_viewerGone = true;
        return nullptr;
    }
    auto mapping = std::make_unique<Mapping>(address, length);
    mapping->id = lent->bufferId;
    m_lent.push_back(std::move(mapping));
    return m_lent.back().get();
}

bool DecoderSession::replyWithPixels(QImage image, Reply answer)
{
    image = inSharedFormat(std::move(image));
    const QImage::Format format = image.format();
    answer.kind = ReplyKind::Decoded;
    answer.width = image.width();
    answer.height = image.height();
    answer.pixelFormat = static_cast<std::uint32_t>(format);
    // Pixels a decoder wrote into a lent buffer are there already; others are copied into one.
    for (const auto& mapping : m_lent) {
        const uchar* start = mapping->data();
        if (image.constBits() == start &&
            static_cast<std::size_t>(image.sizeInBytes()) <= mapping->bytes) {
            answer.bufferId = mapping->id;
            answer.bytesPerLine = static_cast<std::int32_t>(image.bytesPerLine());
            return reply(answer);
        }
    }
    const qsizetype rowBytes = alignedRowBytes(image.width(), format);
    Mapping* buffer = askForBuffer(static_cast<std::int64_t>(rowBytes) * image.height());
    if (!buffer)
        return !m_viewerGone && replyFailure(static_cast<int>(ErrorNumber::OutOfMemory));
    copyRows(image, buffer->data(), rowBytes);
    answer.bufferId = buffer->id;
    answer.bytesPerLine = static_cast<std::int32_t>(rowBytes);
    return reply(answer);
}

bool DecoderSession::reply(Reply answer)
{
    answer.requestId = m_requestId;
    if (answer.kind != ReplyKind::NeedBuffer) {
        answer.retiring = std::clock() / CLOCKS_PER_SEC >= m_cpuSecondsBudget ? 1 : 0;
        // The viewer seals what it was lent once the answer comes, and refuses a buffer still
        // mapped for writing here; nor does the helper keep memory between requests.
        m_lent.clear();
    }
    if (m_viewerGone || !protocol::sendMessage(m_socket, answer)) {
        m_viewerGone = true;
        return false;
    }
    return true;
}

bool DecoderSession::replyFailure(int errorNumber)
{
    if (m_viewerGone)
        return false;
    Reply answer;
    answer.kind = ReplyKind::Failed;
    answer.errorNumber = errorNumber;
    return reply(answer);
}

} // namespace kavelora::decoder
