// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/picture.h"

#include "picture/picture_decoder.h"
#include "picture/picture_file.h"

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

QImage Picture::decodeForSize(QSize targetPixels) const
{
    if (!m_data)
        return {};
    // Only JPEG, PNG, WebP and TIFF decode at reduced scale; any other screen copy is already
    // the whole picture, and an animated one shows the frame it was made from.
    const QByteArray& format = m_data->source.format;
    const bool reducible =
        format == "jpeg" || format == "png" || format == "webp" || format == "tiff";
    if (m_data->motion == Motion::Animated || !reducible ||
        m_data->screenImage.size() == m_data->ownSize)
        return m_data->screenImage;
    if (format != "jpeg")
        return decodeReducedForSize(m_data->source, m_data->ownSize, targetPixels,
                                    m_data->screenImage);
    const Source::Kept& kept = m_data->source.kept;
    if (const auto* file = std::get_if<std::shared_ptr<PictureFile>>(&kept))
        return decodeJpegFileForSize(**file, targetPixels, m_data->screenImage);
    if (const auto* bytes = std::get_if<QByteArray>(&kept))
        return decodeJpegForSize(*bytes, targetPixels, m_data->screenImage);
    return m_data->screenImage;
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
