// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "platform/picture.h"

#include <QSize>
#include <QString>

namespace kavelora::platform {

// The picture in the named file, read whole so that the picture keeps its bytes. An empty
// name gives the empty picture. Raises RuntimeError when the file cannot be read, is not a
// picture in an accepted format, or is too large to hold.
Picture LoadPicture(const QString& fileName);

// The size, in device pixels, that a picture's screen copy should cover: the primary screen's
// available area, or 2048 x 2048 without a screen.
QSize screenCopyPixels();

} // namespace kavelora::platform
