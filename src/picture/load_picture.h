// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/picture.h"

#include <QSize>
#include <QString>

namespace kavelora::picture {

// The picture in the named file, its screen copy covering coverPixels (device pixels) where
// the format can decode at reduced scale; the picture keeps the file's bytes when it may
// need them again. An empty name gives the empty picture. Raises RuntimeError when the file
// cannot be read, is not a picture in an accepted format, or is too large to hold.
Picture LoadPicture(const QString& fileName, QSize coverPixels);
// The picture in the named file, its screen copy covering openedCopyPixels().
Picture LoadPicture(const QString& fileName);

// The size, in device pixels, that a freshly opened picture's screen copy covers when no
// picture area is given: half the primary screen's available area each way, or 1024 x 1024
// without a screen. The picture area asks for a finer copy if it grows beyond it.
QSize openedCopyPixels();

} // namespace kavelora::picture
