// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/picture.h"

#include <QBuffer>
#include <QImage>
#include <QMovie>
#include <QObject>

namespace kavelora::picture {

// Plays an animated picture's frames from the bytes it keeps, looping as the picture says.
// Each frame is decoded when it comes due and not kept: memory stays at one frame.
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
    QBuffer m_bytes;
    QMovie m_movie;
};

} // namespace kavelora::picture
