// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <optional>

namespace kavelora::decoder {

// An animation's frames in order, each within the pixel cap, sRGB, 8 bits per channel.
class FrameReader
{
public:
    struct Frame
    {
        QImage image;
        int delayMs = 0;
    };

    FrameReader(QByteArray bytes, const QByteArray& format);

    // The next frame, or nothing after the last. Raises RuntimeError when a frame is broken.
    std::optional<Frame> next();
    // How many times the animation plays again after the first time, -1 for ever; known
    // after the first frame.
    int loopCount() const { return m_loopCount; }
    int framesRead() const { return m_framesRead; }

private:
    QBuffer m_bytes;
    QImageReader m_reader;
    int m_loopCount = 0;
    int m_framesRead = 0;
};

} // namespace kavelora::decoder
