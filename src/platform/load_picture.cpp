// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "platform/load_picture.h"

#include "platform/picture_decoder.h"
#include "platform/picture_file.h"
#include "platform/twips_scale.h"

#include <QGuiApplication>
#include <QScreen>

namespace kavelora::platform {

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

} // namespace kavelora::platform
