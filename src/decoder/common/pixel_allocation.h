// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QSize>

#include <functional>

namespace kavelora::decoder {

using PixelAllocator = std::function<QImage(QSize size, QImage::Format format)>;

// An image for a decoder to write its output into: from the allocator in use, else a plain
// QImage. Null when the memory cannot be had.
QImage allocatePixels(QSize size, QImage::Format format);

// Puts allocator in use on this thread while the object lives. The decoder helper lends
// shared memory this way, so that decoded pixels reach the viewer without a copy.
class ScopedPixelAllocator
{
public:
    explicit ScopedPixelAllocator(PixelAllocator allocator);
    ~ScopedPixelAllocator();
    ScopedPixelAllocator(const ScopedPixelAllocator&) = delete;
    ScopedPixelAllocator& operator=(const ScopedPixelAllocator&) = delete;

private:
    PixelAllocator m_previous;
};

} // namespace kavelora::decoder
