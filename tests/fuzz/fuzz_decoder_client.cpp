// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// libFuzzer target on the viewer's side of the conversation, the fuzzer posing as the
// helper. The input is a script of the helper's messages, queued on its end of a socket pair
// before each start: well-formed ones with fields from the input (ready, cannot start, asks
// for buffers, replies naming a lent buffer or not, with the right request id or not) and raw
// bytes. The viewer then makes a few requests; whatever it accepts must be a picture that
// fits the buffer it lies in, every byte of which is read.

#include "fuzz_support.h"
#include "picture/helper/decoder_client.h"
#include "picture/helper/helper_launcher.h"
#include "picture/picture_file.h"
#include "picture/when_finished.h"
#include "platform/runtime_error.h"
#include "protocol/decoder_protocol.h"
#include "protocol/socket_messages.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <vector>

namespace protocol = kavelora::protocol;

namespace {

using namespace kavelora::picture;
using namespace kavelora::protocol;
using protocol::Reply;
using protocol::ReplyKind;

enum class Step : std::uint8_t {
    Raw,
    Ready,
    CannotStart,
    NeedBuffer,
    Decoded,
    Failed,
    Unchanged,
    NoFrame,
    // The helper's script ends here: its socket says no more; a next start takes the rest.
    End,
    kMaxValue = End,
};

// Requests a client makes in one run: a first, and more after a failure or a retirement.
constexpr int kRequests = 3;
// Messages queued for one helper, well within a socket's buffer.
constexpr int kMaxMessagesPerHelper = 24;

// The helper's side: each start queues the next part of the script on a new socket pair.
class ScriptedLauncher : public HelperLauncher
{
public:
    ScriptedLauncher(FuzzedDataProvider& script, const std::uint32_t& nextRequestId)
        : m_script(script)
        , m_nextRequestId(nextRequestId)
    {}

    LaunchedHelper launch() override
    {
        LaunchedHelper launched;
        int ends[2] = {-1, -1};
        if (m_script.ConsumeBool() ||
            ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
            launched.failure = QStringLiteral("the script says so");
            return launched;
        }
        launched.socket = UniqueDescriptor(ends[0]);
        ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
        m_helperEnd = UniqueDescriptor(ends[1]);
        for (int message = 0; message < kMaxMessagesPerHelper && m_script.remaining_bytes();
             ++message) {
            const Step step = m_script.ConsumeEnum<Step>();
            if (step == Step::End)
                break;
            queue(step);
        }
        // What the viewer sends still arrives; what it reads ends after the script.
        ::shutdown(ends[1], SHUT_WR);
        return launched;
    }

private:
    void queue(Step step)
    {
        Reply reply;
        // Mostly the request the viewer is about to make, now and then another.
        reply.requestId =
            m_script.ConsumeBool() ? m_nextRequestId : m_script.ConsumeIntegral<std::uint32_t>();
        switch (step) {
        case Step::Raw: {
            const std::vector<std::uint8_t> bytes = m_script.ConsumeBytes<std::uint8_t>(
                m_script.ConsumeIntegralInRange<std::size_t>(0, sizeof(Reply) + 8));
            sendMessage(m_helperEnd.get(), std::as_bytes(std::span(bytes)));
            return;
        }
        case Step::Ready:
            reply.kind = ReplyKind::Ready;
            reply.requestId = 0;
            break;
        case Step::CannotStart:
            reply.kind = ReplyKind::CannotStart;
            reply.requestId = 0;
            reply.errorNumber = 1;
            reply.systemError = m_script.ConsumeIntegralInRange<std::int32_t>(0, 200);
            break;
        case Step::NeedBuffer:
            reply.kind = ReplyKind::NeedBuffer;
            reply.bufferBytes = m_script.ConsumeIntegralInRange<std::int64_t>(-1, 1 << 22);
            break;
        case Step::Decoded:
            reply.kind = ReplyKind::Decoded;
            reply.bufferId = m_script.ConsumeIntegralInRange<std::uint32_t>(0, 8);
            reply.width = m_script.ConsumeIntegralInRange<std::int32_t>(-1, 3000);
            reply.height = m_script.ConsumeIntegralInRange<std::int32_t>(-1, 3000);
            reply.pixelFormat = m_script.PickValueInArray<std::uint32_t>(
                {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_Grayscale8,
                 QImage::Format_Indexed8, QImage::Format_RGBA64});
            reply.bytesPerLine =
                m_script.ConsumeBool()
                    ? (reply.width *
                           protocol::bytesPerPixel(static_cast<QImage::Format>(reply.pixelFormat)) +
                       3) /
                          4 * 4
                    : m_script.ConsumeIntegral<std::int32_t>();
            reply.ownWidth = std::max(reply.width, 1) * m_script.ConsumeIntegralInRange(1, 3);
            reply.ownHeight = std::max(reply.height, 1);
            reply.animated = m_script.ConsumeIntegralInRange<std::uint32_t>(0, 1);
            reply.retiring = m_script.ConsumeIntegralInRange<std::uint32_t>(0, 1);
            std::memcpy(reply.format, "png", 3);
            break;
        case Step::Failed:
            reply.kind = ReplyKind::Failed;
            reply.errorNumber = m_script.PickValueInArray({7, 24, 75, 481, 0});
            break;
        case Step::Unchanged:
            reply.kind = ReplyKind::Unchanged;
            reply.ownWidth = m_script.ConsumeIntegralInRange<std::int32_t>(0, 64);
            reply.ownHeight = 1;
            break;
        case Step::NoFrame:
            reply.kind = ReplyKind::NoFrame;
            break;
        case Step::End:
            return;
        }
        sendMessage(m_helperEnd.get(), reply);
    }

    FuzzedDataProvider& m_script;
    const std::uint32_t& m_nextRequestId;
    UniqueDescriptor m_helperEnd;
};

const std::shared_ptr<PictureFile>& anyFile()
{
    static QTemporaryDir folder;
    static const std::shared_ptr<PictureFile> file = [] {
        const QString path = folder.filePath(QStringLiteral("any"));
        QFile written(path);
        if (!written.open(QIODevice::WriteOnly) || written.write("any bytes") != 9)
            std::abort();
        written.close();
        return std::make_shared<PictureFile>(path);
    }();
    return file;
}

// What the request gave once the client has served it from the event loop; the client's own
// time limit ends every request well within the bound here.
template<typename Result> Result servedResult(const QFuture<Result>& future)
{
    const QDeadlineTimer bound(10000);
    while (!future.isFinished() && !bound.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (!future.isFinished())
        std::abort();
    return kavelora::picture::finishedResult(future);
}

} // namespace

// The client serves its requests from the event loop, which needs an application object.
// Its warnings would only slow the run.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    kavelora::fuzz::startQuietApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider script(data, size);
    std::uint32_t nextRequestId = 1;
    DecoderClient client(std::make_unique<ScriptedLauncher>(script, nextRequestId),
                         std::chrono::milliseconds(1000));
    for (int request = 0; request < kRequests; ++request, ++nextRequestId) {
        try {
            const bool frame = script.ConsumeBool();
            std::optional<kavelora::picture::DecodeResult> decoded =
                frame ? servedResult(client.frame(anyFile(), 1, request))
                      : std::optional(servedResult(client.decode(anyFile(), QSize(64, 64))));
            if (decoded && !decoded->image.isNull()) {
                volatile unsigned sum = kavelora::fuzz::sumOfPixels(decoded->image);
                (void)sum;
            }
        } catch (const kavelora::platform::RuntimeError&) {
        }
    }
    return 0;
}
