// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QSize>

#include <functional>

namespace kavelora::decoder {

// Where a reader's output pixels go: an image of size and format to write into, or a null
// image when the memory cannot be had. The decoder helper lends shared memory through one, so
// that decoded pixels reach the viewer without a copy.
using PixelAllocator = std::function<QImage(QSize size, QImage::Format format)>;

// A plain QImage of size and format, null when the memory cannot be had.
QImage plainPixels(QSize size, QImage::Format format);

} // namespace kavelora::decoder
