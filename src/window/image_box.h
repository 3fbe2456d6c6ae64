// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/picture.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <memory>

class QBuffer;
class QMovie;

namespace kavelora::window {

// The picture area: draws its picture stretched to the whole box, proportions not kept,
// with no background of its own. While the box is being resized it draws quickly from a
// moderate master copy, made at the first resize; once resizing pauses it draws a copy of
// exactly the box's size, scaled smoothly from the picture's screen copy and kept until the
// box or the picture changes. When the box has outgrown a screen copy decoded at reduced
// scale, the picture is decoded again, finer, as it settles. An animated picture plays, each
// frame decoded from the picture's bytes as it comes due.
class ImageBox : public QWidget
{
    Q_OBJECT
public:
    explicit ImageBox(QWidget* parent);
    ~ImageBox() override;

    // The picture shown; for an animated picture, a still of the frame on screen now.
    picture::Picture picture() const;
    // Holds the new picture, drops the old one and redraws.
    void setPicture(picture::Picture picture);
    // The number of the animation frame on screen; -1 for a still picture.
    int currentFrameNumber() const;

    // Longest side of the master copy drawn from during a resize.
    static constexpr int kMasterCopyLongestSide = 2048;
    // Quiet time after the last size change before the smooth copy is made.
    static constexpr int kSettleDelayMs = 120;

    // True when the next paint draws the smooth copy of the box's size.
    bool isSettled() const;
    // The size in pixels of the copy the box draws from: the picture's screen copy, a finer
    // decode of it, or the current animation frame. Empty for the empty picture.
    QSize drawnCopySize() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void settle();
    void decodeFinerForBox();
    void startAnimation();
    void showFrame();

    picture::Picture m_picture;
    // Plays an animated picture; the buffer reads the picture's own bytes, without a copy.
    std::unique_ptr<QBuffer> m_animationBytes;
    std::unique_ptr<QMovie> m_animation;
    QImage m_frame;
    // The screen copy, a finer decode of it, or the current frame, in a format that draws
    // fast.
    QImage m_source;
    // At most kMasterCopyLongestSide on each side; drawn from while the box is resized.
    QImage m_master;
    // Exactly the box's size, smoothly scaled from m_source.
    QImage m_settled;
    QTimer m_settleTimer;
};

} // namespace kavelora::window
