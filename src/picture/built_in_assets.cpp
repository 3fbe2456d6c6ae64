// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/built_in_assets.h"

#include <QImageReader>

namespace kavelora::picture {

namespace {

QImage readResource(const char16_t* resource, const char* format)
{
    QImageReader reader(QString::fromUtf16(resource), format);
    // Both formats are read by Qt itself: with detection off, no image plugin is loaded.
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

} // namespace

QImage builtInIcon()
{
    return readResource(kIconResource, "png");
}

picture::Picture splashPicture(double logicalDpi)
{
    // The decoded copy is the whole picture: nothing needs the bytes again.
    return picture::Picture(readResource(kSplashResource, "bmp"), logicalDpi,
                            {QByteArrayLiteral("bmp"),
                             QString::fromUtf16(kSplashResource),
                             Picture::Source::Origin::BuiltIn,
                             Picture::Source::NothingKept(),
                             {}});
}

} // namespace kavelora::picture
