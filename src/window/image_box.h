// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "platform/picture.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

namespace kavelora::window {

// The picture area: draws its picture stretched to the whole box, proportions not kept,
// with no background of its own. While the box is being resized it draws quickly from a
// moderate master copy; once resizing pauses it draws a smoothly scaled copy of exactly the
// box's size, kept until the box or the picture changes.
class ImageBox : public QWidget
{
    Q_OBJECT
public:
    explicit ImageBox(QWidget* parent);

    const platform::Picture& picture() const { return m_picture; }
    // Holds the new picture, drops the old one and redraws.
    void setPicture(platform::Picture picture);

    // Longest side of the master copy drawn from during a resize.
    static constexpr int kMasterCopyLongestSide = 2048;
    // Quiet time after the last size change before the smooth copy is made.
    static constexpr int kSettleDelayMs = 120;

    // True when the next paint draws the smooth copy of the box's size.
    bool isSettled() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void settle();

    platform::Picture m_picture;
    QImage m_master;
    QImage m_settled;
    QTimer m_settleTimer;
};

} // namespace kavelora::window
