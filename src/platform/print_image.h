// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "platform/picture.h"

#include <QImage>
#include <QSize>

namespace kavelora::platform {

// How much finer than wanted, on each side, a decoded copy may be and still be printed as it
// is rather than scaled down first.
inline constexpr double kPrintPixelsLeeway = 1.5;

// The picture's pixels for the page: as many as it holds when that is fewer than wantedPixels
// or at most kPrintPixelsLeeway times as many on each side, otherwise scaled to wantedPixels.
// A null image when there is no memory for them. Raises RuntimeError if a finer decode fails.
QImage imageForPrint(const Picture& picture, QSize wantedPixels);

} // namespace kavelora::platform
