// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The parsers of the messages between the viewer and its decoder helper. A helper taken over
// by a hostile file may send anything, so parseReply must refuse every reply whose sizes the
// viewer cannot trust; parseRequest likewise for what the helper is asked.

#include "platform/runtime_error.h"
#include "protocol/decoder_protocol.h"
#include "protocol/picture_limits.h"

#include <QTest>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
using namespace kavelora::protocol;
using namespace kavelora::protocol;
using kavelora::platform::ErrorNumber;

Q_DECLARE_METATYPE(kavelora::protocol::Reply)
Q_DECLARE_METATYPE(kavelora::protocol::Request)
Q_DECLARE_METATYPE(std::function<void(Reply&)>)
Q_DECLARE_METATYPE(std::function<void(Request&)>)

namespace {

using ReplyChange = std::function<void(Reply&)>;
using RequestChange = std::function<void(Request&)>;

template<typename Message> QByteArray bytesOf(const Message& message)
{
    return QByteArray(reinterpret_cast<const char*>(&message), sizeof message);
}

std::span<const std::byte> spanOf(const QByteArray& bytes)
{
    return std::as_bytes(std::span(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

// The name's letters, and its end only where the field has room.
template<std::size_t Length> void setName(Reply& reply, const char (&name)[Length])
{
    std::memset(reply.format, 0, sizeof reply.format);
    std::memcpy(reply.format, name, std::min(Length, sizeof reply.format));
}

// A 640 x 480 picture in 32-bit pixels, decoded from a PNG file.
Reply decodedReply()
{
    Reply reply;
    reply.kind = ReplyKind::Decoded;
    reply.bufferId = 7;
    reply.width = 640;
    reply.height = 480;
    reply.bytesPerLine = 640 * 4;
    reply.pixelFormat = QImage::Format_ARGB32;
    reply.ownWidth = 1280;
    reply.ownHeight = 960;
    setName(reply, "png");
    return reply;
}

Request decodeRequest()
{
    Request request;
    request.kind = RequestKind::Decode;
    request.fileSize = 4096;
    request.coverWidth = 481;
    request.coverHeight = 297;
    return request;
}

} // namespace

class TestDecoderProtocol : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refusesLyingReplies_data();
    void refusesLyingReplies();
    void acceptsHonestReplies_data();
    void acceptsHonestReplies();
    void refusesBadRequests_data();
    void refusesBadRequests();
    void acceptsGoodRequests_data();
    void acceptsGoodRequests();
    void refusesCutOrPaddedMessages();
};

void TestDecoderProtocol::refusesLyingReplies_data()
{
    QTest::addColumn<Reply>("start");
    QTest::addColumn<ReplyChange>("change");
    const Reply decoded = decodedReply();
    Reply failed;
    failed.kind = ReplyKind::Failed;
    failed.errorNumber = static_cast<int>(ErrorNumber::InvalidPicture);
    Reply needBuffer;
    needBuffer.kind = ReplyKind::NeedBuffer;
    needBuffer.bufferBytes = 4096;
    Reply unchanged;
    unchanged.kind = ReplyKind::Unchanged;
    unchanged.ownWidth = 640;
    unchanged.ownHeight = 480;

    QTest::newRow("width zero") << decoded << ReplyChange([](Reply& r) { r.width = 0; });
    QTest::newRow("height negative") << decoded << ReplyChange([](Reply& r) { r.height = -480; });
    QTest::newRow("width past any format's side") << decoded << ReplyChange([](Reply& r) {
        r.width = (1 << 20) + 1;
        r.height = 1;
        r.bytesPerLine = r.width * 4;
    });
    QTest::newRow("pixels over the cap, rows within the buffer cap")
        << decoded << ReplyChange([](Reply& r) {
               r.pixelFormat = QImage::Format_Grayscale8;
               r.width = r.height = 8193;
               r.bytesPerLine = 8196;
           });
    QTest::newRow("own size zero") << decoded << ReplyChange([](Reply& r) { r.ownHeight = 0; });
    QTest::newRow("rows shorter than width x 4 bytes")
        << decoded << ReplyChange([](Reply& r) { r.bytesPerLine = 640 * 4 - 4; });
    QTest::newRow("grey rows shorter than width") << decoded << ReplyChange([](Reply& r) {
        r.pixelFormat = QImage::Format_Grayscale8;
        r.bytesPerLine = 636;
    });
    QTest::newRow("unaligned rows")
        << decoded << ReplyChange([](Reply& r) { r.bytesPerLine += 2; });
    QTest::newRow("negative row length")
        << decoded << ReplyChange([](Reply& r) { r.bytesPerLine = -2560; });
    QTest::newRow("rows past the buffer cap") << decoded << ReplyChange([](Reply& r) {
        r.pixelFormat = QImage::Format_Grayscale8;
        r.height = 300;
        r.bytesPerLine = 1 << 20;
    });
    QTest::newRow("palette pixels")
        << decoded << ReplyChange([](Reply& r) { r.pixelFormat = QImage::Format_Indexed8; });
    QTest::newRow("16-bit pixels")
        << decoded << ReplyChange([](Reply& r) { r.pixelFormat = QImage::Format_RGBA64; });
    QTest::newRow("unknown pixel format")
        << decoded << ReplyChange([](Reply& r) { r.pixelFormat = 9999; });
    QTest::newRow("format name empty") << decoded << ReplyChange([](Reply& r) { r.format[0] = 0; });
    QTest::newRow("format name not ended")
        << decoded << ReplyChange([](Reply& r) { setName(r, "pngpngpn"); });
    QTest::newRow("format name in capitals")
        << decoded << ReplyChange([](Reply& r) { setName(r, "PNG"); });
    QTest::newRow("format name a path")
        << decoded << ReplyChange([](Reply& r) { setName(r, "../png"); });
    QTest::newRow("negative delay") << decoded << ReplyChange([](Reply& r) { r.delayMs = -1; });
    QTest::newRow("delay past the longest")
        << decoded << ReplyChange([](Reply& r) { r.delayMs = 655351; });
    QTest::newRow("loop count below forever")
        << decoded << ReplyChange([](Reply& r) { r.loopCount = -2; });
    QTest::newRow("animated neither yes nor no")
        << decoded << ReplyChange([](Reply& r) { r.animated = 2; });
    QTest::newRow("error number none")
        << failed << ReplyChange([](Reply& r) { r.errorNumber = 0; });
    QTest::newRow("error number unknown") << failed << ReplyChange([](Reply& r) {
        r.errorNumber = static_cast<int>(ErrorNumber::InvalidProcedureCall);
    });
    QTest::newRow("error number negative")
        << failed << ReplyChange([](Reply& r) { r.errorNumber = -481; });
    QTest::newRow("buffer of no bytes")
        << needBuffer << ReplyChange([](Reply& r) { r.bufferBytes = 0; });
    QTest::newRow("buffer of negative bytes")
        << needBuffer << ReplyChange([](Reply& r) { r.bufferBytes = -4096; });
    QTest::newRow("buffer over the cap")
        << needBuffer << ReplyChange([](Reply& r) { r.bufferBytes = kMaxBufferBytes + 1; });
    QTest::newRow("unchanged without own size")
        << unchanged << ReplyChange([](Reply& r) { r.ownWidth = -1; });
    Reply ready;
    ready.kind = ReplyKind::Ready;
    QTest::newRow("ready naming a request")
        << ready << ReplyChange([](Reply& r) { r.requestId = 5; });
    Reply cannotStart;
    cannotStart.kind = ReplyKind::CannotStart;
    cannotStart.errorNumber = static_cast<int>(StartFailure::CannotLock);
    cannotStart.systemError = EPERM;
    QTest::newRow("cannot start for no known reason")
        << cannotStart << ReplyChange([](Reply& r) { r.errorNumber = 2; });
    QTest::newRow("cannot start with a negative errno")
        << cannotStart << ReplyChange([](Reply& r) { r.systemError = -1; });
    QTest::newRow("cannot start with an errno past any")
        << cannotStart << ReplyChange([](Reply& r) { r.systemError = 1 << 20; });
    QTest::newRow("cannot start naming a request")
        << cannotStart << ReplyChange([](Reply& r) { r.requestId = 1; });
    QTest::newRow("kind zero") << decoded
                               << ReplyChange([](Reply& r) { r.kind = static_cast<ReplyKind>(0); });
    QTest::newRow("kind past the last")
        << decoded << ReplyChange([](Reply& r) { r.kind = static_cast<ReplyKind>(8); });
    QTest::newRow("wrong magic") << decoded << ReplyChange([](Reply& r) { r.magic ^= 1; });
}

void TestDecoderProtocol::refusesLyingReplies()
{
    QFETCH(Reply, start);
    QFETCH(ReplyChange, change);
    QVERIFY2(parseReply(spanOf(bytesOf(start))).has_value(), "the row starts from a good reply");
    Reply lying = start;
    change(lying);
    QVERIFY(!parseReply(spanOf(bytesOf(lying))).has_value());
}

void TestDecoderProtocol::acceptsHonestReplies_data()
{
    QTest::addColumn<Reply>("reply");
    const Reply decoded = decodedReply();
    QTest::newRow("32-bit pixels with alpha") << decoded;
    Reply reply = decoded;
    reply.pixelFormat = QImage::Format_RGB32;
    QTest::newRow("32-bit pixels") << reply;
    reply.pixelFormat = QImage::Format_ARGB32_Premultiplied;
    reply.animated = 1;
    reply.delayMs = 100;
    reply.loopCount = -1;
    setName(reply, "webp");
    QTest::newRow("premultiplied frame looping forever") << reply;
    reply = decoded;
    reply.pixelFormat = QImage::Format_Grayscale8;
    reply.width = 3;
    reply.height = 5;
    reply.bytesPerLine = 4;
    QTest::newRow("grey rows padded to four bytes") << reply;
    reply.width = reply.height = 8192;
    reply.bytesPerLine = 8192;
    QTest::newRow("grey at the pixel cap") << reply;
    reply = decoded;
    setName(reply, "abcdefg");
    QTest::newRow("longest format name") << reply;
    for (const ErrorNumber number :
         {ErrorNumber::OutOfMemory, ErrorNumber::PathFileAccess, ErrorNumber::InvalidPicture}) {
        Reply failed;
        failed.kind = ReplyKind::Failed;
        failed.errorNumber = static_cast<int>(number);
        QTest::addRow("failed with %d", failed.errorNumber) << failed;
    }
    Reply other;
    other.kind = ReplyKind::NeedBuffer;
    other.bufferBytes = kMaxBufferBytes;
    QTest::newRow("buffer at the cap") << other;
    other = Reply();
    other.kind = ReplyKind::Unchanged;
    other.ownWidth = 1;
    other.ownHeight = 1;
    QTest::newRow("unchanged") << other;
    other = Reply();
    other.kind = ReplyKind::NoFrame;
    other.requestId = 0xffffffffU;
    QTest::newRow("no frame, to the last request id") << other;
    other = Reply();
    other.kind = ReplyKind::Ready;
    QTest::newRow("ready") << other;
    other.kind = ReplyKind::CannotStart;
    other.errorNumber = static_cast<int>(StartFailure::CannotLock);
    other.systemError = EINVAL;
    QTest::newRow("cannot lock itself") << other;
}

void TestDecoderProtocol::acceptsHonestReplies()
{
    QFETCH(Reply, reply);
    const std::optional<Reply> parsed = parseReply(spanOf(bytesOf(reply)));
    QVERIFY(parsed.has_value());
    QCOMPARE(parsed->kind, reply.kind);
    QCOMPARE(parsed->requestId, reply.requestId);
    QCOMPARE(parsed->errorNumber, reply.errorNumber);
    QCOMPARE(parsed->systemError, reply.systemError);
    QCOMPARE(parsed->bufferBytes, reply.bufferBytes);
    QCOMPARE(parsed->bufferId, reply.bufferId);
    QCOMPARE(parsed->bytesPerLine, reply.bytesPerLine);
    QCOMPARE(parsed->pixelFormat, reply.pixelFormat);
    QCOMPARE(formatName(*parsed), QByteArray(reply.format, qstrnlen(reply.format, 8)));
    QCOMPARE(decodedSize(*parsed), QSize(reply.width, reply.height));
    QCOMPARE(ownSize(*parsed), QSize(reply.ownWidth, reply.ownHeight));
}

void TestDecoderProtocol::refusesBadRequests_data()
{
    QTest::addColumn<Request>("start");
    QTest::addColumn<RequestChange>("change");
    const Request decode = decodeRequest();
    Request frame = decode;
    frame.kind = RequestKind::Frame;
    frame.frameIndex = 3;
    Request buffer;
    buffer.kind = RequestKind::Buffer;
    buffer.bufferBytes = 4096;

    QTest::newRow("negative file size")
        << decode << RequestChange([](Request& r) { r.fileSize = -1; });
    QTest::newRow("file over the size cap")
        << decode << RequestChange([](Request& r) { r.fileSize = kMaxPictureFileBytes + 1; });
    QTest::newRow("negative cover")
        << decode << RequestChange([](Request& r) { r.coverWidth = -1; });
    QTest::newRow("cover past any side")
        << decode << RequestChange([](Request& r) { r.coverHeight = (1 << 20) + 1; });
    QTest::newRow("negative held size")
        << decode << RequestChange([](Request& r) { r.heldHeight = -5; });
    QTest::newRow("held size past any side")
        << decode << RequestChange([](Request& r) { r.heldWidth = 1 << 30; });
    QTest::newRow("negative frame")
        << frame << RequestChange([](Request& r) { r.frameIndex = -1; });
    QTest::newRow("frame of a negative file size")
        << frame << RequestChange([](Request& r) { r.fileSize = -4096; });
    QTest::newRow("frame of a file over the cap")
        << frame << RequestChange([](Request& r) { r.fileSize = kMaxPictureFileBytes + 1; });
    QTest::newRow("buffer of no bytes")
        << buffer << RequestChange([](Request& r) { r.bufferBytes = 0; });
    QTest::newRow("buffer over the cap")
        << buffer << RequestChange([](Request& r) { r.bufferBytes = kMaxBufferBytes + 1; });
    QTest::newRow("kind zero") << decode << RequestChange([](Request& r) {
        r.kind = static_cast<RequestKind>(0);
    });
    QTest::newRow("kind past the last")
        << decode << RequestChange([](Request& r) { r.kind = static_cast<RequestKind>(4); });
    QTest::newRow("wrong magic") << decode << RequestChange([](Request& r) { r.magic = 0; });
}

void TestDecoderProtocol::refusesBadRequests()
{
    QFETCH(Request, start);
    QFETCH(RequestChange, change);
    QVERIFY2(parseRequest(spanOf(bytesOf(start))).has_value(),
             "the row starts from a good request");
    Request bad = start;
    change(bad);
    QVERIFY(!parseRequest(spanOf(bytesOf(bad))).has_value());
}

void TestDecoderProtocol::acceptsGoodRequests_data()
{
    QTest::addColumn<Request>("request");
    Request request = decodeRequest();
    QTest::newRow("decode") << request;
    request.coverWidth = request.coverHeight = 0;
    request.fileSize = kMaxPictureFileBytes;
    QTest::newRow("decode of the largest file, no cover") << request;
    request.heldWidth = 1 << 20;
    request.heldHeight = 1;
    QTest::newRow("decode beside a held picture") << request;
    request = decodeRequest();
    request.kind = RequestKind::Frame;
    request.fileSize = 0;
    QTest::newRow("first frame of an empty file") << request;
    request = Request();
    request.kind = RequestKind::Buffer;
    request.bufferBytes = kMaxBufferBytes;
    QTest::newRow("buffer at the cap") << request;
}

void TestDecoderProtocol::acceptsGoodRequests()
{
    QFETCH(Request, request);
    const std::optional<Request> parsed = parseRequest(spanOf(bytesOf(request)));
    QVERIFY(parsed.has_value());
    QCOMPARE(parsed->kind, request.kind);
    QCOMPARE(parsed->fileSize, request.fileSize);
    QCOMPARE(QSize(parsed->coverWidth, parsed->coverHeight),
             QSize(request.coverWidth, request.coverHeight));
    QCOMPARE(QSize(parsed->heldWidth, parsed->heldHeight),
             QSize(request.heldWidth, request.heldHeight));
    QCOMPARE(parsed->frameIndex, request.frameIndex);
    QCOMPARE(parsed->bufferBytes, request.bufferBytes);
}

void TestDecoderProtocol::refusesCutOrPaddedMessages()
{
    // Messages are whole datagrams: a byte more or less is a broken conversation.
    const QByteArray reply = bytesOf(decodedReply());
    const QByteArray request = bytesOf(decodeRequest());
    QVERIFY(!parseReply(spanOf(reply.chopped(1))).has_value());
    QVERIFY(!parseReply(spanOf(reply + '\0')).has_value());
    QVERIFY(!parseReply({}).has_value());
    QVERIFY(!parseReply(spanOf(request)).has_value());
    QVERIFY(!parseRequest(spanOf(request.chopped(1))).has_value());
    QVERIFY(!parseRequest(spanOf(request + '\0')).has_value());
    QVERIFY(!parseRequest({}).has_value());
    QVERIFY(!parseRequest(spanOf(reply)).has_value());
}

QTEST_APPLESS_MAIN(TestDecoderProtocol)
#include "tst_decoder_protocol.moc"
