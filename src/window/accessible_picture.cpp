// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "window/accessible_picture.h"

#include "picture/built_in_assets.h"

#include <QFileInfo>
#include <QWidget>

namespace kavelora::window {

QString accessiblePictureDescription(const picture::Picture& picture)
{
    if (picture.isEmpty())
        return QStringLiteral("画像なし");
    const QString& fileName = picture.source().fileName;
    if (fileName == QString::fromUtf16(picture::kSplashResource))
        return QStringLiteral("起動画面");
    return QFileInfo(fileName).fileName();
}

void describeForScreenReaders(QWidget& area, const picture::Picture& picture)
{
    area.setAccessibleName(QStringLiteral("画像"));
    area.setAccessibleDescription(accessiblePictureDescription(picture));
}

} // namespace kavelora::window
