// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/picture.h"

#include <QImage>

namespace kavelora::picture {

// The two pictures compiled into the program; no file is read at start.
inline constexpr auto kIconResource = u":/kavelora/kavelora.png";
inline constexpr auto kSplashResource = u":/kavelora/splash.bmp";

// The 32 x 32 icon with its mask as alpha.
QImage builtInIcon();
// The splash picture Image1 shows before any file is opened, at its own size at logicalDpi.
picture::Picture splashPicture(double logicalDpi);

} // namespace kavelora::picture
