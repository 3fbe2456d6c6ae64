// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/decoder_protocol.h"
#include "picture/picture_file.h"
#include "picture/shared_buffers.h"
#include "picture/unique_descriptor.h"

#include <QByteArray>
#include <QImage>
#include <QPointer>
#include <QSize>
#include <QSocketNotifier>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <sys/types.h>

namespace kavelora::picture {

// The viewer's side of the decoder helper. It starts the helper, hands it open files and
// takes back pixels; a helper that dies, hangs or breaks the conversation is killed and
// replaced, and the request it was serving fails.
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

    // The one client of the program, started on first use.
    static DecoderClient& instance();

    DecoderClient();
    ~DecoderClient();
    DecoderClient(const DecoderClient&) = delete;
    DecoderClient& operator=(const DecoderClient&) = delete;

    // Starts a helper unless one runs, so that a decode does not wait for its start; once
    // there is an application object, a helper that ends while idle is replaced at once.
    void start();

    // file decoded covering cover. Raises RuntimeError: what the helper reported, or
    // InvalidPicture when it failed, died or ran past kTimeLimit.
    Decoded decode(PictureFile& file, QSize cover, QSize held = {});
    // The frame numbered index of the animation in file, or its first frame when the helper
    // would have to decode every frame before index again; nothing past the last frame.
    // animation tells one playing animation from another.
    std::optional<Decoded> frame(PictureFile& file, std::uint32_t animation, int index);
    std::uint32_t newAnimation() { return m_nextAnimation++; }

private:
    struct Exchange;

    std::optional<Decoded> request(PictureFile& file, const protocol::Request& request);
    std::optional<protocol::Reply> nextReply(Exchange& exchange);
    bool lendBuffer(Exchange& exchange, std::int64_t bytes);
    void stop();
    void watchForExit();

    pid_t m_helper = 0;
    UniqueDescriptor m_socket;
    // Owned by the application object, which may go first.
    QPointer<QSocketNotifier> m_exitWatch;
    std::uint32_t m_nextBufferId = 1;
    std::uint32_t m_nextAnimation = 1;
    int m_requestsServed = 0;
    bool m_retirementDue = false;
};

} // namespace kavelora::picture
