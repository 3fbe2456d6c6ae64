// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/common/pixel_allocation.h"

namespace kavelora::decoder {

QImage plainPixels(QSize size, QImage::Format format)
{
    return QImage(size, format);
}

} // namespace kavelora::decoder
