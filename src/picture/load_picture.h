// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/picture.h"

#include <QSize>
#include <QString>

namespace kavelora::picture {

// The picture in the named file, its screen copy covering coverPixels (device pixels) where
// the format decodes smaller; the empty picture for an empty name. Raises RuntimeError when
// the file cannot be read, is no picture of an accepted format, or is too large to hold.
Picture LoadPicture(const QString& fileName, QSize coverPixels);

} // namespace kavelora::picture
