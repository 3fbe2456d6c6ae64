// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/frame_reader.h"
#include "protocol/decoder_protocol.h"
#include "protocol/unique_descriptor.h"

#include <QImage>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kavelora::decoder {

// The decoder helper's side of the conversation with the viewer on socket: one request at a
// time, answered with pixels in the shared buffers the viewer lends.
class DecoderSession
{
public:
    // Once the helper has used cpuSecondsBudget of processor time, its replies say it retires.
    DecoderSession(int socket, int cpuSecondsBudget);
    ~DecoderSession();
    DecoderSession(const DecoderSession&) = delete;
    DecoderSession& operator=(const DecoderSession&) = delete;

    // Reads one request and answers it. False when the viewer has gone or broke the
    // conversation; the helper then ends.
    bool serveOne();

private:
    struct Mapping;
    struct Playing;

    bool decode(const protocol::Request& request, protocol::UniqueDescriptor file);
    bool playFrame(const protocol::Request& request, protocol::UniqueDescriptor file);
    bool replyWithPixels(QImage image, protocol::Reply reply);
    QImage lendPixels(QSize size, QImage::Format format);
    // Asks the viewer for a buffer of at least bytes, mapped until the request is answered;
    // null when none came.
    Mapping* askForBuffer(std::int64_t bytes);
    bool reply(protocol::Reply reply);
    bool replyFailure(int errorNumber);

    int m_socket;
    int m_cpuSecondsBudget;
    std::vector<std::unique_ptr<Mapping>> m_lent;
    std::unique_ptr<Playing> m_playing;
    // The request being answered, named in each reply.
    std::uint32_t m_requestId = 0;
    bool m_viewerGone = false;
};

} // namespace kavelora::decoder
