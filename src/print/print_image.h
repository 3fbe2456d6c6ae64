// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/picture.h"

#include <QFuture>
#include <QImage>
#include <QSize>

namespace kavelora::print {

// How much finer than wanted, each way, a copy may be and still be printed unscaled.
inline constexpr double kPrintPixelsLeeway = 1.5;

// The picture's pixels for the page: the screen copy, or a finer decode for wantedPixels when
// it has fewer than sharpPixels; scaled to wantedPixels only when more than kPrintPixelsLeeway
// times as fine. Decoded and scaled away from the GUI thread; a null image when there is no
// memory for them.
QFuture<QImage> imageForPrint(const picture::Picture& picture, QSize wantedPixels,
                              QSize sharpPixels);

} // namespace kavelora::print
