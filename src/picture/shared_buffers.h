// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/unique_descriptor.h"

#include <QImage>
#include <QSize>

#include <cstdint>
#include <memory>
#include <vector>

namespace kavelora::picture {

// Shared memory the decoder helper writes pixels into and the viewer reads them from, mapped
// read-only here.
class SharedBuffer
{
public:
    // Nothing when the memory cannot be had.
    static std::shared_ptr<SharedBuffer> create(std::uint32_t id, std::int64_t bytes);
    ~SharedBuffer();
    SharedBuffer(const SharedBuffer&) = delete;
    SharedBuffer& operator=(const SharedBuffer&) = delete;

    std::uint32_t id() const { return m_id; }
    std::int64_t bytes() const { return m_bytes; }
    int descriptor() const { return m_descriptor.get(); }

private:
    SharedBuffer(std::uint32_t id, UniqueDescriptor descriptor, const uchar* data,
                 std::int64_t bytes);
    friend QImage imageIn(const std::shared_ptr<SharedBuffer>& buffer, QSize size,
                          qsizetype bytesPerLine, QImage::Format format);

    std::uint32_t m_id;
    UniqueDescriptor m_descriptor;
    const uchar* m_data;
    std::int64_t m_bytes;
};

// A read-only image over buffer's pixels that keeps buffer lent while it or a copy lives.
// The caller has checked that the rows fit the buffer.
QImage imageIn(const std::shared_ptr<SharedBuffer>& buffer, QSize size, qsizetype bytesPerLine,
               QImage::Format format);

// The buffers lent for decodes. A buffer is free again when no image over it remains; one
// free buffer is kept, its pages already in place, for the next decode.
class SharedBufferPool
{
public:
    // A free buffer of at least bytes, or a new one; nothing when memory cannot be had.
    std::shared_ptr<SharedBuffer> lend(std::int64_t bytes);
    // Lets go of free buffers but the largest one of a screen copy's size.
    void trim();

private:
    std::vector<std::shared_ptr<SharedBuffer>> m_buffers;
    std::uint32_t m_nextId = 1;
};

} // namespace kavelora::picture
