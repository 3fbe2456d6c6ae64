// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/helper/helper_launcher.h"
#include "picture/helper/shared_buffers.h"
#include "picture/helper/start_backoff.h"
#include "picture/picture_file.h"
#include "protocol/decoder_protocol.h"
#include "protocol/unique_descriptor.h"

#include <QByteArray>
#include <QImage>
#include <QPointer>
#include <QSize>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace kavelora::picture {

// The viewer's side of the decoder helper. It starts the helper, hands it open files and
// takes back pixels; a helper that dies, hangs or breaks the conversation is killed and
// replaced, and the request it was serving fails. A helper that cannot start is tried again
// after a growing pause, and requests fail meanwhile. No call waits longer than the time
// limit, nor ever for a process to end.
class DecoderClient
{
public:
    struct Decoded
    {
        // Null when the decode would have given the size held already.
        QImage image;
        QSize ownSize;
        QByteArray format;
        bool animated = false;
        int delayMs = 0;
        int loopCount = 0;
        // Which frame of an animation this is: the one asked for, or the first when the helper
        // could not go on from the one before.
        int frameIndex = 0;
    };

    static constexpr std::chrono::milliseconds kTimeLimit{10000};
    // A fresh helper now and then leaves nothing a decoder may have leaked or corrupted.
    static constexpr int kRequestsPerHelper = 1000;

    // The one client of the program, with the installed helper, started on first use.
    static DecoderClient& instance();

    explicit DecoderClient(std::unique_ptr<HelperLauncher> launcher,
                           std::chrono::milliseconds timeLimit = kTimeLimit);
    ~DecoderClient();
    DecoderClient(const DecoderClient&) = delete;
    DecoderClient& operator=(const DecoderClient&) = delete;

    // Starts a helper unless one runs or starts are paused after failures, so that a decode
    // does not wait for its start; once there is an application object, a helper that ends
    // while idle is replaced, at once or when the pause is over.
    void start();

    // file decoded covering cover. Raises RuntimeError: what the helper reported;
    // DeviceTimeout past the time limit; DeviceUnavailable when no helper can start;
    // InvalidPicture when the helper died or broke the conversation.
    Decoded decode(PictureFile& file, QSize cover, QSize held = {});
    // The frame numbered index of the animation in file, or its first frame when the helper
    // would have to decode every frame before index again; nothing past the last frame.
    // animation tells one playing animation from another.
    std::optional<Decoded> frame(PictureFile& file, std::uint32_t animation, int index);
    std::uint32_t newAnimation() { return m_nextAnimation++; }

private:
    struct Exchange;
    enum class Outcome { Replied, TimedOut, Ended, Broken };

    std::optional<Decoded> request(PictureFile& file, const protocol::Request& request);
    Outcome converse(Exchange& exchange);
    Outcome nextReply(Exchange& exchange, protocol::Reply& reply);
    bool sendWithin(const Exchange& exchange, std::span<const std::byte> message, int descriptor);
    bool lendBuffer(Exchange& exchange, std::int64_t bytes);
    Decoded decodedFrom(const Exchange& exchange, const protocol::Request& asked);
    [[noreturn]] void fail(Outcome outcome,
                           const std::optional<protocol::Reply>& lastWord = std::nullopt);
    void noteStartFailure(const QString& reason);
    QString endReason(std::optional<protocol::Reply> lastWord);
    void stop();
    void watchForExit();
    void onIdleMessage();
    void startLater();

    std::unique_ptr<HelperLauncher> m_launcher;
    std::chrono::milliseconds m_timeLimit;
    HelperProcess m_helper;
    protocol::UniqueDescriptor m_socket;
    // Whether the running helper has said it is locked and ready.
    bool m_ready = false;
    // Set while a helper starts.
    bool m_busy = false;
    StartBackoff m_backoff;
    // Owned by the application object, which may go first.
    QPointer<QSocketNotifier> m_exitWatch;
    QPointer<QTimer> m_restart;
    std::uint32_t m_nextBufferId = 1;
    std::uint32_t m_nextAnimation = 1;
    std::uint32_t m_lastRequestId = 0;
    int m_requestsServed = 0;
    bool m_retirementDue = false;
};

} // namespace kavelora::picture
