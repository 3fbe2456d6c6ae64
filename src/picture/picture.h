// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <memory>
#include <variant>

namespace kavelora::picture {

class PictureFile;

// Where a picture came from. A picture that may be decoded again (a finer copy for the
// screen or for print resolution, or an animation's frames) keeps what it reads from:
// an animation its bytes, a reduced JPEG its bytes or, when it was opened from a file, that
// open file, whose content stays readable when the file is renamed or removed. A picture
// whose screen copy is already whole keeps nothing.
struct PictureSource
{
    enum class Origin { UserFile, BuiltIn };
    using NothingKept = std::monostate;
    using Kept = std::variant<NothingKept, QByteArray, std::shared_ptr<PictureFile>>;

    QByteArray format;
    // The file's name as the user gave it, or the resource's for a built-in picture.
    QString fileName;
    Origin origin = Origin::UserFile;
    Kept kept;
};

// A shared, immutable picture: what Image1 shows and the printer draws. Copies share one
// object; the default-constructed picture is the empty picture.
class Picture
{
public:
    using Source = PictureSource;

    // Whether the source holds frames that the picture area plays.
    enum class Motion { Still, Animated };

    Picture() = default;
    // A still picture shown as it is. loadDpi is the screen's logical dpi at load time.
    Picture(QImage image, double loadDpi, Source source = {});
    // A picture whose screen copy may be decoded at reduced scale; ownSize is the full size.
    // For an animated picture the screen copy is its first frame.
    Picture(QImage screenImage, QSize ownSize, double loadDpi, Source source,
            Motion motion = Motion::Still);

    bool isEmpty() const { return !m_data; }
    bool isAnimated() const;
    // A still picture of frame with this picture's own size, dpi and source: what an animated
    // picture shows at one moment. The empty picture for the empty picture.
    Picture stillFrame(QImage frame) const;
    // The picture with at least targetPixels (never more than its own size), decoded again
    // from the kept bytes or file at the smallest scale that serves, or the screen copy when
    // that is enough, nothing finer can be decoded, or the kept file was written to since it
    // was opened. Raises RuntimeError if decoding kept bytes fails.
    QImage decodeForSize(QSize targetPixels) const;
    // The copy drawn on screen (may be smaller than the picture's own size).
    QImage screenImage() const;
    // The full pixel size, after orientation.
    QSize ownSize() const;
    // The own size on paper: the pixel size at the screen's logical dpi when it was loaded.
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
