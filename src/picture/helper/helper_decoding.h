// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/helper/decoder_client.h"
#include "picture/picture_decoding.h"

#include <chrono>
#include <memory>

namespace kavelora::picture {

// Picture decoding by the decoder helper, the program's way: requests are served in turn from
// the event loop, each within the client's time limit.
class HelperDecoding final : public PictureDecoding
{
public:
    // With the helper installed beside the program.
    HelperDecoding();
    explicit HelperDecoding(std::unique_ptr<HelperLauncher> launcher,
                            std::chrono::milliseconds timeLimit = DecoderClient::kTimeLimit);

    // Starts the helper ahead of the first request; with an application object, the helper
    // is watched and replaced from then on when it ends while idle.
    void start() { m_client.start(); }

    QFuture<DecodeResult> decode(std::shared_ptr<PictureFile> file, QSize coverPixels,
                                 QSize heldPixels = {}) override;
    QFuture<std::optional<DecodeResult>> frame(std::shared_ptr<PictureFile> file,
                                               std::uint32_t animation, int index) override;
    std::uint32_t newAnimation() override { return m_client.newAnimation(); }

private:
    DecoderClient m_client;
};

} // namespace kavelora::picture
