// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "window/built_in_assets.h"

#include <QFile>

namespace kavelora::window {

QImage builtInIcon()
{
    return QImage(QString::fromUtf16(kIconResource), "ICO");
}

platform::Picture splashPicture(double logicalDpi)
{
    QFile file(QString::fromUtf16(kSplashResource));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QImage image = QImage::fromData(file.readAll(), "BMP");
    // The decoded copy is the whole picture: nothing needs the bytes again.
    return platform::Picture(std::move(image), logicalDpi,
                             {QByteArray(), QByteArrayLiteral("bmp"), file.fileName()});
}

} // namespace kavelora::window
