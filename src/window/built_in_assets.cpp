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
    const QByteArray bytes = file.readAll();
    QImage image = QImage::fromData(bytes, "BMP");
    return platform::Picture(std::move(image), logicalDpi,
                             {bytes, QByteArrayLiteral("bmp"), file.fileName()});
}

} // namespace kavelora::window
