// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "platform/picture.h"

namespace kavelora::platform {

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

Picture::Picture(QImage screenImage, QSize ownSize, double loadDpi, Source source)
{
    if (screenImage.isNull())
        return;
    m_data = std::make_shared<const Data>(
        Data{std::move(screenImage), ownSize, loadDpi > 0.0 ? loadDpi : 96.0, std::move(source)});
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

} // namespace kavelora::platform
