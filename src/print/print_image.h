// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/picture.h"

#include <QImage>
#include <QSize>

namespace kavelora::print {

// How much finer than wanted, on each side, a decoded copy may be and still be printed as it
// is rather than scaled down first.
inline constexpr double kPrintPixelsLeeway = 1.5;

// The picture's pixels for the page. A reduced screen copy with at least sharpPixels is used
// as it is; one with fewer is replaced by a finer decode of the picture for wantedPixels. The
// result is then sent as it is when it has fewer pixels than wantedPixels or at most
// kPrintPixelsLeeway times as many on each side, otherwise it is scaled to wantedPixels. A null
// image when there is no memory for them. Raises RuntimeError if a finer decode fails.
QImage imageForPrint(const picture::Picture& picture, QSize wantedPixels, QSize sharpPixels);

} // namespace kavelora::print
