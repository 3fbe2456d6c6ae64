// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/helper/helper_launcher.h"
#include "picture/helper/helper_supervisor.h"
#include "picture/helper/shared_buffers.h"
#include "picture/picture_decoding.h"
#include "picture/picture_file.h"
#include "platform/runtime_error.h"
#include "protocol/decoder_protocol.h"

#include <QTimer>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>

namespace kavelora::picture {

// The viewer's side of the conversation with the decoder helper: it hands the helper an open
// file, lends it the buffers it asks for and takes back the pixels, one request at a time, the
// others waiting their turn. The conversation runs from the event loop as the helper's
// messages come, so the GUI thread never waits on a decode; each request's reply is awaited at
// most the time limit. A helper that dies, hangs or breaks the conversation is replaced
// (HelperSupervisor keeps it running) and the request it was serving fails. Needs an
// application object.
class DecoderClient
{
public:
    static constexpr std::chrono::milliseconds kTimeLimit{10000};

    explicit DecoderClient(std::unique_ptr<HelperLauncher> launcher,
                           std::chrono::milliseconds timeLimit = kTimeLimit);
    // Requests not finished yet end cancelled; nothing waits for the helper.
    ~DecoderClient();
    DecoderClient(const DecoderClient&) = delete;
    DecoderClient& operator=(const DecoderClient&) = delete;

    // Starts a helper ahead of the first request, so that no decode waits for its start.
    void start() { m_helper.start(); }

    // file decoded covering cover. Fails with RuntimeError: what the helper reported;
    // DeviceTimeout past the time limit; DeviceUnavailable when no helper can start;
    // InvalidPicture when the helper died or broke the conversation.
    QFuture<DecodeResult> decode(std::shared_ptr<PictureFile> file, QSize cover, QSize held = {});
    // The frame numbered index of the animation in file, or its first frame when the helper
    // would have to decode every frame before index again; nothing past the last frame.
    // animation tells one playing animation from another.
    QFuture<std::optional<DecodeResult>> frame(std::shared_ptr<PictureFile> file,
                                               std::uint32_t animation, int index);
    std::uint32_t newAnimation() { return m_nextAnimation++; }

private:
    struct Pending;
    struct Exchange;
    enum class Outcome { Replied, Waiting, TimedOut, Ended, Broken };

    QFuture<std::optional<DecodeResult>> queue(std::shared_ptr<PictureFile> file,
                                               const protocol::Request& asked,
                                               std::function<bool()> abandoned);
    void serveNext();
    void begin(Pending& pending);
    void onMessages();
    void onTimeLimit();
    void finish(std::optional<DecodeResult> result);
    void finish(const platform::RuntimeError& error);
    std::unique_ptr<Pending> endExchange();
    bool sendRequest(std::span<const std::byte> message, int file);
    Outcome nextStep(Exchange& exchange);
    bool sendNow(std::span<const std::byte> message, int descriptor);
    bool lendBuffer(Exchange& exchange, std::int64_t bytes);
    std::optional<DecodeResult> resultOf(const Exchange& exchange);
    platform::RuntimeError failure(Outcome outcome,
                                   const std::optional<protocol::Reply>& lastWord = std::nullopt);

    HelperSupervisor m_helper;
    std::chrono::milliseconds m_timeLimit;
    std::deque<std::unique_ptr<Pending>> m_waiting;
    std::unique_ptr<Exchange> m_exchange;
    QTimer m_timeLimitTimer;
    bool m_serving = false;
    std::uint32_t m_nextBufferId = 1;
    std::uint32_t m_nextAnimation = 1;
    std::uint32_t m_lastRequestId = 0;
};

} // namespace kavelora::picture
