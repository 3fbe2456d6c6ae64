// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/picture.h"

#include "picture/picture_decoding.h"
#include "picture/picture_file.h"
#include "picture/when_finished.h"
#include "platform/runtime_error.h"

#include <QCoreApplication>
#include <QPromise>

namespace kavelora::picture {

namespace {
const Picture::Source& emptySource()
{
    static const Picture::Source source;
    return source;
}
} // namespace

Picture::Picture(QImage image, double loadDpi, Source source)
    : Picture(image, image.size(), loadDpi, std::move(source))
{}

Picture::Picture(QImage screenImage, QSize ownSize, double loadDpi, Source source, Motion motion)
{
    if (screenImage.isNull())
        return;
    m_data = std::make_shared<const Data>(Data{std::move(screenImage), ownSize,
                                               loadDpi > 0.0 ? loadDpi : 96.0, std::move(source),
                                               motion});
}

bool Picture::isAnimated() const
{
    return m_data && m_data->motion == Motion::Animated;
}

Picture Picture::stillFrame(QImage frame) const
{
    if (!m_data)
        return {};
    return Picture(std::move(frame), m_data->ownSize, m_data->loadDpi, m_data->source);
}

QFuture<QImage> Picture::decodeForSize(QSize targetPixels) const
{
    const QImage held = screenImage();
    const auto asHeld = [&held] { return finishedFuture<QImage>([&held] { return held; }); };
    if (!m_data)
        return asHeld();
    // An animated picture shows the frame it was made from.
    const auto* file = std::get_if<std::shared_ptr<PictureFile>>(&m_data->source.kept);
    const std::shared_ptr<PictureDecoding>& decoding = m_data->source.decoding;
    if (m_data->motion == Motion::Animated || !file || !decoding || held.size() == m_data->ownSize)
        return asHeld();
    // A file written to since it was opened no longer holds the picture on screen: a finer
    // copy of something else, or of half of it, must not stand in for it.
    const std::shared_ptr<PictureFile> opened = *file;
    if (!opened->isUnchanged())
        return asHeld();
    auto promise = std::make_shared<QPromise<QImage>>();
    promise->start();
    whenFinished(decoding->decode(opened, targetPixels, held.size()), QCoreApplication::instance(),
                 [promise, opened, held](const QFuture<DecodeResult>& decoded) {
                     fulfil(*promise, [&] {
                         try {
                             const DecodeResult finer = finishedResult(decoded);
                             if (finer.image.isNull() || !opened->isUnchanged())
                                 return held;
                             return finer.image;
                         } catch (const platform::RuntimeError&) {
                             return held;
                         }
                     });
                 });
    return promise->future();
}

QImage Picture::screenImage() const
{
    return m_data ? m_data->screenImage : QImage();
}

QSize Picture::ownSize() const
{
    return m_data ? m_data->ownSize : QSize();
}

QSizeF Picture::ownSizeInches() const
{
    if (!m_data)
        return {};
    return QSizeF(m_data->ownSize) / m_data->loadDpi;
}

const Picture::Source& Picture::source() const
{
    return m_data ? m_data->source : emptySource();
}

} // namespace kavelora::picture
