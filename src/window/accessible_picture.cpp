// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "window/accessible_picture.h"

#include <QFileInfo>
#include <QWidget>

namespace kavelora::window {

QString accessiblePictureDescription(const picture::Picture& picture)
{
    if (picture.isEmpty())
        return QStringLiteral("画像なし");
    if (picture.source().origin == picture::PictureSource::Origin::BuiltIn)
        return QStringLiteral("起動画面");
    return QFileInfo(picture.source().fileName).fileName();
}

void describeForScreenReaders(QWidget& area, const picture::Picture& picture)
{
    area.setAccessibleName(QStringLiteral("画像"));
    area.setAccessibleDescription(accessiblePictureDescription(picture));
}

} // namespace kavelora::window
