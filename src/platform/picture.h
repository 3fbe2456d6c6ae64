// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QSizeF>

#include <memory>

namespace kavelora::platform {

// A shared, immutable picture: what Image1 shows and the printer draws. Copies share one
// object; the default-constructed picture is the empty picture.
class Picture
{
public:
    // Where a picture came from, kept so that it can be decoded again (for print resolution)
    // even if its file changes or disappears afterwards.
    struct Source
    {
        QByteArray bytes;
        QByteArray format;
        QString fileName;
    };

    Picture() = default;
    // A still picture shown as it is. loadDpi is the screen's logical dpi at load time.
    Picture(QImage image, double loadDpi, Source source = {});
    // A picture whose screen copy was decoded at reduced scale; ownSize is the full size.
    Picture(QImage screenImage, QSize ownSize, double loadDpi, Source source);

    bool isEmpty() const { return !m_data; }
    // The copy drawn on screen (may be smaller than the picture's own size).
    QImage screenImage() const;
    // The full pixel size, after orientation.
    QSize ownSize() const;
    // The own size on paper: the pixel size at the screen's logical dpi when it was loaded.
    QSizeF ownSizeInches() const;
    const Source& source() const;

    // True when both refer to the same picture object.
    bool isSameObject(const Picture& other) const { return m_data == other.m_data; }

private:
    struct Data
    {
        QImage screenImage;
        QSize ownSize;
        double loadDpi = 96.0;
        Source source;
    };
    std::shared_ptr<const Data> m_data;
};

} // namespace kavelora::platform
