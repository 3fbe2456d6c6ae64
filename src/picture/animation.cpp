// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/animation.h"

#include "picture/picture_decoding.h"
#include "platform/runtime_error.h"

namespace kavelora::picture {

namespace {

// Frames that ask for no delay at all would keep the processor busy; viewers have long shown
// them at ten a second.
constexpr int kShortestDelayMs = 20;
constexpr int kDelayForNoDelayMs = 100;

int shownDelay(int delayMs)
{
    return delayMs < kShortestDelayMs ? kDelayForNoDelayMs : delayMs;
}

} // namespace

Animation::Animation(const Picture& picture, QObject* parent)
    : QObject(parent)
    , m_decoding(picture.source().decoding)
{
    if (const auto* file = std::get_if<std::shared_ptr<PictureFile>>(&picture.source().kept))
        m_file = *file;
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &Animation::showNextFrame);
    if (m_file && m_decoding) {
        m_animation = m_decoding->newAnimation();
        m_timer.start(0);
    }
}

Animation::~Animation() = default;

void Animation::showNextFrame()
{
    try {
        std::optional<DecodeResult> frame =
            finishedResult(m_decoding->frame(m_file, m_animation, m_nextFrame));
        if (!frame && m_nextFrame > 0) {
            // Past the last frame: loopCount more times through, or for ever when it is -1.
            m_nextFrame = 0;
            ++m_loopsDone;
            frame = finishedResult(m_decoding->frame(m_file, m_animation, m_nextFrame));
            if (frame && frame->loopCount >= 0 && m_loopsDone > frame->loopCount)
                return;
        }
        if (!frame)
            return;
        m_nextFrame = frame->frameIndex + 1;
        Q_EMIT frameChanged(frame->image);
        m_timer.start(shownDelay(frame->delayMs));
    } catch (const platform::RuntimeError&) {
        // The frame on screen stays.
    }
}

} // namespace kavelora::picture
