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

// The picture area: its picture stretched to the whole box, proportions not kept, with no
// background of its own. During a resize it draws fast from a moderate master copy; once the
// resize pauses, from a smooth copy of exactly the box's device pixels, decoding the picture
// again in the background when the box outgrows its screen copy. Painting only draws: copies
// are made when the picture, the frame or the size changes.
class ImageBox : public QWidget
{
    Q_OBJECT
public:
    explicit ImageBox(QWidget* parent);
    ~ImageBox() override;

    // The picture shown; for an animated picture, a still of the frame on screen now.
    picture::Picture picture() const;
    void setPicture(picture::Picture picture);
    // What a copy must measure to be drawn one to one.
    QSize devicePixelSize() const;

    // Longest side of the master copy drawn from during a resize, in image pixels.
    static constexpr int kMasterCopyLongestSide = 2048;
    static constexpr int kSettleDelayMs = 120;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void settle();
    bool settledCopyFits() const;
    void decodeFinerForBox();
    void takeFinerCopy(const QImage& finer);
    void showFrame(const QImage& frame);
    void drawFrom(const QImage& source);

    picture::Picture m_picture;
    std::unique_ptr<picture::Animation> m_animation;
    QImage m_frame;
    // The screen copy, a finer decode of it, or the current frame.
    QImage m_source;
    QImage m_master;
    // Exactly devicePixelSize(), tagged with the device pixel ratio.
    QImage m_settled;
    QTimer m_settleTimer;
    // Tells a finer copy that comes for the picture shown from one that comes too late.
    int m_pictureSerial = 0;
    // The size a finer copy under way was asked for; empty when none is.
    QSize m_finerAskedFor;
};

} // namespace kavelora::window
