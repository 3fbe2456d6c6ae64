// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/frame_reader.h"
#include "picture/picture_decoding.h"

#include <QStringList>

#include <map>
#include <memory>

namespace kavelora::tests {

// Picture decoding for the tests that need no decoder helper: the helper's own decoding code,
// run in the test's process. Each request is logged ("decode 800x600",
// "decode 1600x1200 held 800x600", "frame 1 #0"), decoded at once, and its result handed over
// from the event loop deliveryDelayMs later, as a slow decoder would.
class InProcessDecoding final : public picture::PictureDecoding
{
public:
    QFuture<picture::DecodeResult> decode(std::shared_ptr<picture::PictureFile> file,
                                          QSize coverPixels, QSize heldPixels = {}) override;
    QFuture<std::optional<picture::DecodeResult>>
    frame(std::shared_ptr<picture::PictureFile> file, std::uint32_t animation, int index) override;
    std::uint32_t newAnimation() override { return ++m_animations; }

    QStringList calls;
    int deliveryDelayMs = 0;

private:
    template<typename Result> QFuture<Result> delivered(QFuture<Result> done);

    std::uint32_t m_animations = 0;
    // Each animation's frames, read on from the last one asked for.
    std::map<std::uint32_t, std::unique_ptr<decoder::FrameReader>> m_playing;
};

// A fresh in-process decoding service.
std::shared_ptr<InProcessDecoding> inProcessDecoding();

} // namespace kavelora::tests
