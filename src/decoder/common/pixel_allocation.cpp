// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/common/pixel_allocation.h"

namespace kavelora::decoder {

namespace {
thread_local PixelAllocator currentAllocator;
} // namespace

QImage allocatePixels(QSize size, QImage::Format format)
{
    if (currentAllocator)
        return currentAllocator(size, format);
    return QImage(size, format);
}

ScopedPixelAllocator::ScopedPixelAllocator(PixelAllocator allocator)
    : m_previous(std::exchange(currentAllocator, std::move(allocator)))
{}

ScopedPixelAllocator::~ScopedPixelAllocator()
{
    currentAllocator = std::move(m_previous);
}

} // namespace kavelora::decoder
