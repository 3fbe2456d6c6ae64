// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/picture.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace kavelora::picture {
class Animation;
}

namespace kavelora::window {

// The picture area: draws its picture stretched to the whole box, proportions not kept,
// with no background of its own. While the box is being resized it draws quickly from a
// moderate master copy, made at the first resize; once resizing pauses it draws a copy of
// exactly the box's size in device pixels, scaled smoothly from the picture's screen copy and
// kept until the box or the picture changes. When the box has outgrown a screen copy decoded
// at reduced scale, the picture is decoded again, finer, as it settles. Painting only draws:
// copies are made when the picture, the frame or the box's size changes. An animated picture
// plays.
class ImageBox : public QWidget
{
    Q_OBJECT
public:
    explicit ImageBox(QWidget* parent);
    ~ImageBox() override;

    // The picture shown; for an animated picture, a still of the frame on screen now.
    picture::Picture picture() const;
    // Holds the new picture, drops the old one, prepares its copy for the box and redraws.
    void setPicture(picture::Picture picture);
    // The box's size in device pixels: what a copy must measure to be drawn one to one.
    QSize devicePixelSize() const;

    // Longest side of the master copy drawn from during a resize, in image pixels.
    static constexpr int kMasterCopyLongestSide = 2048;
    // Quiet time after the last size change before the smooth copy is made.
    static constexpr int kSettleDelayMs = 120;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void settle();
    bool settledCopyFits() const;
    void decodeFinerForBox();
    void showFrame(const QImage& frame);

    picture::Picture m_picture;
    std::unique_ptr<picture::Animation> m_animation;
    QImage m_frame;
    // The screen copy, a finer decode of it, or the current frame, in a format that draws
    // fast.
    QImage m_source;
    // At most kMasterCopyLongestSide on each side; drawn from while the box is resized.
    QImage m_master;
    // Exactly devicePixelSize(), smoothly scaled from m_source, tagged with the box's device
    // pixel ratio so that it draws one to one.
    QImage m_settled;
    QTimer m_settleTimer;
};

} // namespace kavelora::window
