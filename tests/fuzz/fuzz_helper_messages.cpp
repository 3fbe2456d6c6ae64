// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// libFuzzer target on the conversation between the viewer and its decoder helper. The input
// is read three ways: as one message for each parser, whose accepted answers must hold what
// the viewer relies on; and as a run of requests to a DecoderSession on a socket pair. The
// first byte chooses how the requests come: with a tiny picture in a memfd as their file (a BMP,
// a PNG, a JPEG that decodes into a lent buffer, or an animated GIF), with a shared buffer lent
// after each, with an honest or a made-up file size. Every reply the
// session sends must pass the viewer's parser and name a buffer that holds its pixels.

#include "decoder/decoder_session.h"
#include "fuzz_support.h"
#include "platform/runtime_error.h"
#include "protocol/decoder_protocol.h"
#include "protocol/picture_limits.h"
#include "protocol/socket_messages.h"
#include "protocol/unique_descriptor.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <span>
#include <sys/mman.h>
#include <sys/socket.h>
#include <vector>

namespace protocol = kavelora::protocol;

namespace {
using namespace kavelora::decoder;
using namespace kavelora::protocol;
using protocol::Reply;
using protocol::ReplyKind;
using protocol::Request;
using protocol::RequestKind;

enum Choice : std::uint8_t {
    AttachPicture = 1,
    LendAfterEach = 2,
    MadeUpFileSize = 4,
    // Two bits: which of the pictures.
    PictureShift = 3,
};

// Two frames of one pixel, black then white, looping.
constexpr char kAnimatedGif[] = "GIF89a\1\0\1\0\x80\0\0\0\0\0\xff\xff\xff"
                                "\x21\xff\x0bNETSCAPE2.0\3\1\0\0\0"
                                "\x21\xf9\4\0\x0a\0\0\0\x2c\0\0\0\0\1\0\1\0\0\2\2\x44\1\0"
                                "\x21\xf9\4\0\x0a\0\0\0\x2c\0\0\0\0\1\0\1\0\0\2\2\x4c\1\0"
                                "\x3b";

// Enough requests to reach every state of a session, few enough for the socket buffers.
constexpr std::size_t kMaxRequests = 12;
constexpr std::int64_t kLentBytes = 64 * 1024;

void require(bool holds)
{
    if (!holds)
        std::abort();
}

UniqueDescriptor memoryFile(const QByteArray& content, std::int64_t length)
{
    UniqueDescriptor file(::memfd_create("fuzz", MFD_CLOEXEC));
    require(file.isValid() && ::ftruncate(file.get(), length) == 0);
    require(::pwrite(file.get(), content.constData(), static_cast<std::size_t>(content.size()),
                     0) == content.size());
    return file;
}

struct Fixtures
{
    Fixtures()
    {
        QImage image(3, 2, QImage::Format_ARGB32);
        image.fill(qRgba(10, 200, 30, 128));
        for (const char* format : {"BMP", "PNG", "JPEG"}) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            require(image.save(&buffer, format));
            add(bytes);
        }
        add(QByteArray(kAnimatedGif, sizeof kAnimatedGif - 1));
        lent = memoryFile({}, kLentBytes);
    }

    void add(const QByteArray& bytes)
    {
        pictureBytes.push_back(bytes.size());
        pictures.push_back(memoryFile(bytes, bytes.size()));
    }

    std::vector<UniqueDescriptor> pictures;
    std::vector<qint64> pictureBytes;
    UniqueDescriptor lent;
};

// What DecoderClient goes on to do with a reply parseReply let through must be safe.
void requireSafeForViewer(const Reply& reply)
{
    switch (reply.kind) {
    case ReplyKind::Failed:
        using kavelora::platform::ErrorNumber;
        require(reply.errorNumber == static_cast<int>(ErrorNumber::OutOfMemory) ||
                reply.errorNumber == static_cast<int>(ErrorNumber::PathFileAccess) ||
                reply.errorNumber == static_cast<int>(ErrorNumber::InvalidPicture));
        break;
    case ReplyKind::NeedBuffer:
        require(reply.bufferBytes > 0 && reply.bufferBytes <= protocol::kMaxBufferBytes);
        break;
    case ReplyKind::Decoded: {
        const auto format = static_cast<QImage::Format>(reply.pixelFormat);
        require(protocol::isSharedPixelFormat(format));
        const QSize size = protocol::decodedSize(reply);
        require(!size.isEmpty() && !protocol::ownSize(reply).isEmpty());
        require(qint64{size.width()} * size.height() <= kMaxPicturePixels);
        require(reply.bytesPerLine >= qint64{size.width()} * protocol::bytesPerPixel(format));
        require(qint64{reply.bytesPerLine} * size.height() <= protocol::kMaxBufferBytes);
        const QByteArray name = protocol::formatName(reply);
        require(!name.isEmpty() && name.size() < 8);
        break;
    }
    case ReplyKind::Unchanged:
        require(!protocol::ownSize(reply).isEmpty());
        break;
    case ReplyKind::NoFrame:
        break;
    case ReplyKind::Ready:
    case ReplyKind::CannotStart:
        // Said unasked, at start: never in answer to a request.
        require(reply.requestId == 0);
        break;
    default:
        require(false);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    kavelora::fuzz::startQuietApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const Fixtures fixtures;
    const auto bytes = std::as_bytes(std::span(data, size));
    for (std::span<const std::byte> whole :
         {bytes, bytes.subspan(std::min<std::size_t>(size, 1))}) {
        if (const auto reply = protocol::parseReply(whole))
            requireSafeForViewer(*reply);
        if (const auto request = protocol::parseRequest(whole))
            require(
                request->kind != RequestKind::Buffer ||
                (request->bufferBytes > 0 && request->bufferBytes <= protocol::kMaxBufferBytes));
    }
    if (size == 0)
        return 0;

    const std::uint8_t choice = data[0];
    const std::size_t picture = (choice >> PictureShift) & 3;
    int ends[2] = {-1, -1};
    require(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) == 0);
    UniqueDescriptor viewer(ends[0]);
    UniqueDescriptor helper(ends[1]);

    std::map<std::uint32_t, std::int64_t> lentBytes;
    std::span<const std::byte> rest = bytes.subspan(1);
    std::size_t sent = 0;
    for (; !rest.empty() && sent < kMaxRequests; ++sent) {
        Request request;
        const std::size_t length = std::min(rest.size(), sizeof request);
        std::memcpy(&request, rest.data(), length);
        rest = rest.subspan(length);
        int descriptor = -1;
        if (request.kind == RequestKind::Buffer) {
            // The viewer lends what it says it lends; the helper maps that much.
            if (request.bufferBytes > 0 && request.bufferBytes <= kLentBytes) {
                descriptor = fixtures.lent.get();
                lentBytes[request.bufferId] = request.bufferBytes;
            }
        } else if (choice & AttachPicture) {
            descriptor = fixtures.pictures[picture].get();
            const qint64 fileBytes = fixtures.pictureBytes[picture];
            request.fileSize =
                (choice & MadeUpFileSize) ? request.fileSize % (2 * fileBytes + 1) : fileBytes;
        }
        // The input's last request may be cut short, as a broken viewer's would be.
        static_cast<void>(sendMessage(viewer.get(),
                                      std::as_bytes(std::span(&request, 1)).first(length),
                                      std::span(&descriptor, descriptor >= 0 ? 1 : 0)));
        if (choice & LendAfterEach) {
            Request lend;
            lend.kind = RequestKind::Buffer;
            lend.bufferId = 1000 + static_cast<std::uint32_t>(sent);
            lend.bufferBytes = kLentBytes;
            const int lentDescriptor = fixtures.lent.get();
            lentBytes[lend.bufferId] = kLentBytes;
            static_cast<void>(sendMessage(viewer.get(), lend, std::span(&lentDescriptor, 1)));
        }
    }
    ::shutdown(viewer.get(), SHUT_WR);

    {
        // A budget no run reaches: each reply says the helper carries on.
        DecoderSession session(helper.get(), 1 << 20);
        // Each serve takes at least one message; the end of the input ends the session.
        for (std::size_t served = 0; served <= 2 * sent && session.serveOne(); ++served) {
        }
    }

    Reply reply;
    ssize_t received = 0;
    while ((received = ::recv(viewer.get(), &reply, sizeof reply, MSG_DONTWAIT)) > 0) {
        require(received == sizeof reply);
        const auto parsed = protocol::parseReply(std::as_bytes(std::span(&reply, 1)));
        require(parsed.has_value());
        requireSafeForViewer(*parsed);
        if (parsed->kind == ReplyKind::Decoded) {
            const auto lent = lentBytes.find(parsed->bufferId);
            require(lent != lentBytes.end());
            require(qint64{parsed->bytesPerLine} * parsed->height <= kLentBytes);
        }
    }
    return 0;
}
