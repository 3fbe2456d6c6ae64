// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/helper/helper_launcher.h"
#include "picture/helper/helper_supervisor.h"
#include "picture/helper/shared_buffers.h"
#include "picture/picture_decoding.h"
#include "picture/picture_file.h"
#include "protocol/decoder_protocol.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace kavelora::picture {

// The viewer's side of the conversation with the decoder helper: it hands the helper an open
// file, lends it the buffers it asks for and takes back the pixels, reading every reply
// within the time limit. A helper that dies, hangs or breaks the conversation is replaced
// (HelperSupervisor keeps it running) and the request it was serving fails. No call waits
// longer than the time limit, nor ever for a process to end.
class DecoderClient
{
public:
    static constexpr std::chrono::milliseconds kTimeLimit{10000};

    explicit DecoderClient(std::unique_ptr<HelperLauncher> launcher,
                           std::chrono::milliseconds timeLimit = kTimeLimit);

    // Starts a helper ahead of the first request, so that no decode waits for its start.
    void start() { m_helper.start(); }

    // file decoded covering cover. Raises RuntimeError: what the helper reported;
    // DeviceTimeout past the time limit; DeviceUnavailable when no helper can start;
    // InvalidPicture when the helper died or broke the conversation.
    DecodeResult decode(PictureFile& file, QSize cover, QSize held = {});
    // The frame numbered index of the animation in file, or its first frame when the helper
    // would have to decode every frame before index again; nothing past the last frame.
    // animation tells one playing animation from another.
    std::optional<DecodeResult> frame(PictureFile& file, std::uint32_t animation, int index);
    std::uint32_t newAnimation() { return m_nextAnimation++; }

private:
    struct Exchange;
    enum class Outcome { Replied, TimedOut, Ended, Broken };

    std::optional<DecodeResult> request(PictureFile& file, const protocol::Request& request);
    bool sendRequest(Exchange& exchange, std::span<const std::byte> message, int file);
    Outcome converse(Exchange& exchange);
    Outcome nextReply(Exchange& exchange, protocol::Reply& reply);
    bool sendWithin(const Exchange& exchange, std::span<const std::byte> message, int descriptor);
    bool lendBuffer(Exchange& exchange, std::int64_t bytes);
    DecodeResult decodedFrom(const Exchange& exchange, const protocol::Request& asked);
    [[noreturn]] void fail(Outcome outcome,
                           const std::optional<protocol::Reply>& lastWord = std::nullopt);

    HelperSupervisor m_helper;
    std::chrono::milliseconds m_timeLimit;
    std::uint32_t m_nextBufferId = 1;
    std::uint32_t m_nextAnimation = 1;
    std::uint32_t m_lastRequestId = 0;
};

} // namespace kavelora::picture
