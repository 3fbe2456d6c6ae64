// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/picture.h"

#include <QImage>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <memory>

namespace kavelora::picture {

// Plays an animated picture's frames from the file it keeps, looping as the picture says.
// Each frame is decoded by the service that decoded the picture when it comes due and not
// kept: memory stays at one frame.
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
    void showNextFrame();

    std::shared_ptr<PictureDecoding> m_decoding;
    std::shared_ptr<PictureFile> m_file;
    std::uint32_t m_animation = 0;
    QTimer m_timer;
    int m_nextFrame = 0;
    int m_loopsDone = 0;
};

} // namespace kavelora::picture
