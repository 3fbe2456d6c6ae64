// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/picture.h"
#include "picture/picture_decoding.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>

namespace kavelora::picture {

// Plays an animated picture's frames from the file it keeps, looping as the picture says.
// Each frame is decoded by the service that decoded the picture, one ahead of the one on
// screen, and not kept: memory stays at two frames. A frame not decoded by the time it is due
// is not waited for: the one on screen stays, and a frame that comes so late that the next
// one is due too is skipped, though never two in a row.
class Animation : public QObject
{
    Q_OBJECT
public:
    // Starts playing picture, which must be animated; the first frame follows as a signal.
    explicit Animation(const Picture& picture, QObject* parent = nullptr);
    ~Animation() override;

Q_SIGNALS:
    void frameChanged(const QImage& frame);

private:
    void fetchNext();
    void onFetched(std::optional<DecodeResult> frame);
    void onDue();
    void show(const DecodeResult& frame);

    std::shared_ptr<PictureDecoding> m_decoding;
    std::shared_ptr<PictureFile> m_file;
    std::uint32_t m_animation = 0;
    QTimer m_timer;
    // Since the frame on screen was due.
    QElapsedTimer m_sinceDue;
    int m_shownDelayMs = 0;
    std::optional<DecodeResult> m_ready;
    bool m_fetching = false;
    bool m_due = true;
    bool m_skippedLast = false;
    bool m_ended = false;
    bool m_restarting = false;
    int m_nextFrame = 0;
    int m_loopsDone = 0;
};

} // namespace kavelora::picture
