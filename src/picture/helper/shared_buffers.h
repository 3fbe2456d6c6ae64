// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "protocol/unique_descriptor.h"

#include <QImage>
#include <QSize>

#include <cstdint>
#include <memory>

namespace kavelora::picture {

// Shared memory lent to the decoder helper for one decode's pixels. It has one owner at a
// time: the helper writes it while it is lent; once the helper has replied, the viewer seals
// it against writing and only then maps it, so pixels the viewer accepted never change and
// the memory never shrinks under a reader.
class SharedBuffer
{
public:
    // A buffer of bytes, rounded up to whole pages, already sealed against shrinking and
    // growing. Nothing when the memory cannot be had.
    static std::shared_ptr<SharedBuffer> create(std::uint32_t id, std::int64_t bytes);
    ~SharedBuffer();
    SharedBuffer(const SharedBuffer&) = delete;
    SharedBuffer& operator=(const SharedBuffer&) = delete;

    std::uint32_t id() const { return m_id; }
    std::int64_t bytes() const { return m_bytes; }
    int descriptor() const { return m_descriptor.get(); }

    // Takes the buffer back from the helper: seals it against writing and maps it read-only.
    // False when the kernel will not seal it, because the helper still has it mapped for
    // writing or sealed it itself; the buffer must then not be read.
    bool takeBack();
    bool isTakenBack() const { return m_data != nullptr; }

private:
    SharedBuffer(std::uint32_t id, protocol::UniqueDescriptor descriptor, std::int64_t bytes);
    friend QImage imageIn(const std::shared_ptr<SharedBuffer>& buffer, QSize size,
                          qsizetype bytesPerLine, QImage::Format format);

    std::uint32_t m_id;
    protocol::UniqueDescriptor m_descriptor;
    const uchar* m_data = nullptr;
    std::int64_t m_bytes;
};

// A read-only image over buffer's pixels that keeps buffer alive while it or a copy lives.
// The caller has taken the buffer back and checked that the rows fit it.
QImage imageIn(const std::shared_ptr<SharedBuffer>& buffer, QSize size, qsizetype bytesPerLine,
               QImage::Format format);

} // namespace kavelora::picture
