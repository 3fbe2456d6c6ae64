// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/shared_buffers.h"

#include <algorithm>
#include <sys/mman.h>
#include <unistd.h>

namespace kavelora::picture {

namespace {

constexpr std::int64_t kGranuleBytes = 1024 * 1024;

// The spare buffer kept for the next decode is at most this large: a screen copy fits.
constexpr std::int64_t kMaxSpareBytes = 64 * kGranuleBytes;

bool isFree(const std::shared_ptr<SharedBuffer>& buffer)
{
    return buffer.use_count() == 1;
}

void releaseLent(void* lent)
{
    delete static_cast<std::shared_ptr<SharedBuffer>*>(lent);
}

} // namespace

std::shared_ptr<SharedBuffer> SharedBuffer::create(std::uint32_t id, std::int64_t bytes)
{
    UniqueDescriptor descriptor(::memfd_create("kavelora-pixels", MFD_CLOEXEC));
    if (!descriptor.isValid() || ::ftruncate(descriptor.get(), bytes) != 0)
        return nullptr;
    void* data = ::mmap(nullptr, static_cast<std::size_t>(bytes), PROT_READ,
                        MAP_SHARED | MAP_POPULATE, descriptor.get(), 0);
    if (data == MAP_FAILED)
        return nullptr;
    return std::shared_ptr<SharedBuffer>(
        new SharedBuffer(id, std::move(descriptor), static_cast<const uchar*>(data), bytes));
}

SharedBuffer::SharedBuffer(std::uint32_t id, UniqueDescriptor descriptor, const uchar* data,
                           std::int64_t bytes)
    : m_id(id)
    , m_descriptor(std::move(descriptor))
    , m_data(data)
    , m_bytes(bytes)
{}

SharedBuffer::~SharedBuffer()
{
    ::munmap(const_cast<uchar*>(m_data), static_cast<std::size_t>(m_bytes));
}

QImage imageIn(const std::shared_ptr<SharedBuffer>& buffer, QSize size, qsizetype bytesPerLine,
               QImage::Format format)
{
    // QImage's clean-up hook takes a plain pointer: it holds one more owner of the buffer.
    auto* lent = new std::shared_ptr<SharedBuffer>(buffer);
    return QImage(buffer->m_data, size.width(), size.height(), bytesPerLine, format, releaseLent,
                  lent);
}

std::shared_ptr<SharedBuffer> SharedBufferPool::lend(std::int64_t bytes)
{
    std::shared_ptr<SharedBuffer> fitting;
    for (const auto& buffer : m_buffers) {
        if (isFree(buffer) && buffer->bytes() >= bytes &&
            (!fitting || buffer->bytes() < fitting->bytes()))
            fitting = buffer;
    }
    if (fitting)
        return fitting;
    // A free buffer too small would only hold memory beside the new one.
    std::erase_if(m_buffers, isFree);
    const std::int64_t rounded = (bytes + kGranuleBytes - 1) / kGranuleBytes * kGranuleBytes;
    std::shared_ptr<SharedBuffer> created = SharedBuffer::create(m_nextId++, rounded);
    if (created)
        m_buffers.push_back(created);
    return created;
}

void SharedBufferPool::trim()
{
    std::shared_ptr<SharedBuffer> largestFree;
    for (const auto& buffer : m_buffers) {
        if (isFree(buffer) && buffer->bytes() <= kMaxSpareBytes &&
            (!largestFree || buffer->bytes() > largestFree->bytes()))
            largestFree = buffer;
    }
    std::erase_if(m_buffers, [&](const std::shared_ptr<SharedBuffer>& buffer) {
        return buffer != largestFree && isFree(buffer);
    });
}

} // namespace kavelora::picture
