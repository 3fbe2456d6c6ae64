// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QFuture>
#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <memory>
#include <variant>

namespace kavelora::picture {

class PictureDecoding;
class PictureFile;

// Where a picture came from, and what it keeps to decode again (finer copies, an animation's
// frames): its open file, which stays readable when renamed or removed, and the decoding
// service that decoded it.
struct PictureSource
{
    enum class Origin { UserFile, BuiltIn };
    using NothingKept = std::monostate;
    using Kept = std::variant<NothingKept, std::shared_ptr<PictureFile>>;

    QByteArray format;
    QString fileName;
    Origin origin = Origin::UserFile;
    Kept kept;
    // None for a picture that was not decoded from a file.
    std::shared_ptr<PictureDecoding> decoding;
};

// A shared, immutable picture: what Image1 shows and the printer draws. Copies share one
// object; the default-constructed picture is the empty picture.
class Picture
{
public:
    using Source = PictureSource;

    enum class Motion { Still, Animated };

    Picture() = default;
    // A still picture shown as it is. loadDpi is the screen's logical dpi at load time.
    Picture(QImage image, double loadDpi, Source source = {});
    // A picture whose screen copy (an animation's first frame) may be smaller than ownSize.
    Picture(QImage screenImage, QSize ownSize, double loadDpi, Source source,
            Motion motion = Motion::Still);

    bool isEmpty() const { return !m_data; }
    bool isAnimated() const;
    // frame as a still picture with this one's size, dpi and source.
    Picture stillFrame(QImage frame) const;
    // At least targetPixels (at most the own size), decoded again from what the source keeps,
    // away from the GUI thread; the screen copy when nothing finer can be had. Never fails.
    QFuture<QImage> decodeForSize(QSize targetPixels) const;
    QImage screenImage() const;
    // The full pixel size, after orientation.
    QSize ownSize() const;
    // The pixel size at the screen's logical dpi when it was loaded.
    QSizeF ownSizeInches() const;
    const Source& source() const;

private:
    struct Data
    {
        QImage screenImage;
        QSize ownSize;
        double loadDpi = 96.0;
        Source source;
        Motion motion = Motion::Still;
    };
    std::shared_ptr<const Data> m_data;
};

} // namespace kavelora::picture
