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

double screenLogicalDpi()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : TwipsScale::kStandardDpi;
}

} // namespace

Picture LoadPicture(const QString& fileName, QSize coverPixels)
{
    if (fileName.isEmpty())
        return {};
    return decodePictureFile(std::make_shared<PictureFile>(fileName), screenLogicalDpi(),
                             coverPixels, fileName);
}

} // namespace kavelora::picture
