// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/picture.h"

#include <QSize>
#include <QString>

namespace kavelora::picture {

// The picture in the named file, its screen copy covering coverPixels (device pixels) where
// the format can decode at reduced scale; the picture keeps the file's bytes or the open file
// when it may need them again. An empty name gives the empty picture. Raises RuntimeError
// when the file cannot be read, is not a picture in an accepted format, or is too large to
// hold.
Picture LoadPicture(const QString& fileName, QSize coverPixels);

} // namespace kavelora::picture
