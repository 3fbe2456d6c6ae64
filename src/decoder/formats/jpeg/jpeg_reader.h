// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/pixel_allocation.h"

#include <QImage>
#include <QImageIOHandler>

class QIODevice;

namespace kavelora::decoder {

// The JPEG on device at 1/denominator (1, 2, 4 or 8), turned to orientation: Grayscale8 or
// RGB32 with an embedded profile's colour space. Fed to libjpeg in 64 KiB blocks: Qt's 4 KiB
// keep its Huffman decoder on the slow path. Raises RuntimeError: InvalidPicture, or
// OutOfMemory past the allocation or the buffers the header checks allow.
QImage readJpeg(QIODevice& device, int denominator, QImageIOHandler::Transformations orientation,
                const PixelAllocator& allocate = plainPixels);

} // namespace kavelora::decoder
