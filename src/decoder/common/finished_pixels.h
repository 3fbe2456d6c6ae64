// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>

namespace kavelora::decoder {

// image within the pixel cap, sRGB, 8 bits per channel. Raises OutOfMemory over the cap.
QImage finishedPixels(QImage image);

} // namespace kavelora::decoder
