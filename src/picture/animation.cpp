// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/animation.h"

namespace kavelora::picture {

Animation::Animation(const Picture& picture, QObject* parent)
    : QObject(parent)
{
    const Picture::Source& source = picture.source();
    if (const auto* bytes = std::get_if<QByteArray>(&source.kept))
        m_bytes.setData(*bytes);
    m_bytes.open(QIODevice::ReadOnly);
    m_movie.setDevice(&m_bytes);
    m_movie.setFormat(source.format);
    m_movie.setCacheMode(QMovie::CacheNone);
    connect(&m_movie, &QMovie::frameChanged, this, [this] {
        const QImage frame = m_movie.currentImage();
        if (!frame.isNull())
            Q_EMIT frameChanged(frame);
    });
    m_movie.start();
}

Animation::~Animation() = default;

} // namespace kavelora::picture
