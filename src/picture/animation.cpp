// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/animation.h"

#include "picture/when_finished.h"
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
    connect(&m_timer, &QTimer::timeout, this, &Animation::onDue);
    if (m_file && m_decoding) {
        m_animation = m_decoding->newAnimation();
        fetchNext();
    }
}

Animation::~Animation() = default;

void Animation::fetchNext()
{
    if (m_fetching || m_ended)
        return;
    m_fetching = true;
    whenFinished(m_decoding->frame(m_file, m_animation, m_nextFrame), this,
                 [this](const QFuture<std::optional<DecodeResult>>& fetched) {
                     m_fetching = false;
                     try {
                         onFetched(finishedResult(fetched));
                     } catch (const platform::RuntimeError&) {
                         // The frame on screen stays.
                         m_ended = true;
                     }
                 });
}

void Animation::onFetched(std::optional<DecodeResult> frame)
{
    if (!frame && m_nextFrame > 0) {
        // Past the last frame: loopCount more times through, or for ever when it is -1.
        m_nextFrame = 0;
        ++m_loopsDone;
        m_restarting = true;
        fetchNext();
        return;
    }
    const bool loopsDone =
        m_restarting && frame && frame->loopCount >= 0 && m_loopsDone > frame->loopCount;
    m_restarting = false;
    if (!frame || loopsDone) {
        m_ended = true;
        return;
    }
    m_nextFrame = frame->frameIndex + 1;
    if (!m_due) {
        m_ready = std::move(frame);
        return;
    }
    // Late: the one on screen was shown for its delay and this one's as well.
    const int frameDelayMs = shownDelay(frame->delayMs);
    if (m_sinceDue.isValid() && !m_skippedLast &&
        m_sinceDue.elapsed() >= m_shownDelayMs + frameDelayMs) {
        m_skippedLast = true;
        m_shownDelayMs += frameDelayMs;
        fetchNext();
        return;
    }
    m_skippedLast = false;
    show(*frame);
}

void Animation::onDue()
{
    m_due = true;
    if (!m_ready)
        return;
    const DecodeResult frame = std::move(*m_ready);
    m_ready.reset();
    show(frame);
}

void Animation::show(const DecodeResult& frame)
{
    m_due = false;
    m_shownDelayMs = shownDelay(frame.delayMs);
    m_sinceDue.start();
    Q_EMIT frameChanged(frame.image);
    m_timer.start(m_shownDelayMs);
    fetchNext();
}

} // namespace kavelora::picture
