// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/frame_reader.h"

#include "decoder/common/finished_pixels.h"
#include "platform/runtime_error.h"

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;

FrameReader::FrameReader(QByteArray bytes, const QByteArray& format)
{
    m_bytes.setData(std::move(bytes));
    m_bytes.open(QIODevice::ReadOnly);
    m_reader.setDevice(&m_bytes);
    m_reader.setFormat(format);
    m_reader.setAutoDetectImageFormat(false);
}

std::optional<FrameReader::Frame> FrameReader::next()
{
    if (m_framesRead > 0 && !m_reader.canRead())
        return std::nullopt;
    QImage image;
    if (!m_reader.read(&image) || image.isNull()) {
        if (m_framesRead > 0)
            return std::nullopt;
        throw RuntimeError(ErrorNumber::InvalidPicture);
    }
    ++m_framesRead;
    // Known once the reader has gone past the header that carries it.
    m_loopCount = m_reader.loopCount();
    return Frame{finishedPixels(std::move(image)), m_reader.nextImageDelay()};
}

} // namespace kavelora::decoder
