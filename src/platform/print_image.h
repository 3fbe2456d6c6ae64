// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "platform/picture.h"

#include <QImage>
#include <QSize>

namespace kavelora::platform {

// The picture's pixels for the page, wantedPixels in size when the picture holds that many,
// otherwise as many as it holds. A null image when there is no memory for them.
QImage imageForPrint(const Picture& picture, QSize wantedPixels);

} // namespace kavelora::platform
