// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/load_picture.h"

#include "picture/picture_decoder.h"
#include "picture/picture_file.h"
#include "platform/twips_scale.h"

#include <QGuiApplication>
#include <QScreen>

namespace kavelora::picture {

using platform::TwipsScale;

namespace {

constexpr int kScreenlessSide = 1024;

double screenLogicalDpi()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : TwipsScale::kStandardDpi;
}

} // namespace

QSize openedCopyPixels()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || screen->availableSize().isEmpty())
        return QSize(kScreenlessSide, kScreenlessSide);
    return (QSizeF(screen->availableSize()) * (screen->devicePixelRatio() / 2.0)).toSize();
}

Picture LoadPicture(const QString& fileName, QSize coverPixels)
{
    if (fileName.isEmpty())
        return {};
    return decodePictureFile(std::make_shared<PictureFile>(fileName), screenLogicalDpi(),
                             coverPixels, fileName);
}

Picture LoadPicture(const QString& fileName)
{
    return LoadPicture(fileName, openedCopyPixels());
}

} // namespace kavelora::picture
