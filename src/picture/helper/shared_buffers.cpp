// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/helper/shared_buffers.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace kavelora::picture {

namespace {

void releaseLent(void* lent)
{
    delete static_cast<std::shared_ptr<SharedBuffer>*>(lent);
}

std::int64_t wholePages(std::int64_t bytes)
{
    const std::int64_t page = ::sysconf(_SC_PAGESIZE);
    return (bytes + page - 1) / page * page;
}

} // namespace

std::shared_ptr<SharedBuffer> SharedBuffer::create(std::uint32_t id, std::int64_t bytes)
{
    if (bytes <= 0)
        return nullptr;
    const std::int64_t length = wholePages(bytes);
    protocol::UniqueDescriptor descriptor(
        ::memfd_create("kavelora-pixels", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!descriptor.isValid() || ::ftruncate(descriptor.get(), length) != 0 ||
        ::fcntl(descriptor.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW) != 0)
        return nullptr;
    return std::shared_ptr<SharedBuffer>(new SharedBuffer(id, std::move(descriptor), length));
}

SharedBuffer::SharedBuffer(std::uint32_t id, protocol::UniqueDescriptor descriptor,
                           std::int64_t bytes)
    : m_id(id)
    , m_descriptor(std::move(descriptor))
    , m_bytes(bytes)
{}

SharedBuffer::~SharedBuffer()
{
    if (m_data)
        ::munmap(const_cast<uchar*>(m_data), static_cast<std::size_t>(m_bytes));
}

bool SharedBuffer::takeBack()
{
    if (m_data)
        return true;
    // The kernel refuses the write seal while any writable shared mapping remains, and the
    // seal seal, if the helper added it, refuses every seal after it.
    if (::fcntl(m_descriptor.get(), F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_SEAL) != 0)
        return false;
    // A private mapping: kernels before 6.7 refuse shared mappings of a write-sealed memfd.
    void* data = ::mmap(nullptr, static_cast<std::size_t>(m_bytes), PROT_READ, MAP_PRIVATE,
                        m_descriptor.get(), 0);
    if (data == MAP_FAILED)
        return false;
    m_data = static_cast<const uchar*>(data);
    // Nothing more comes through the descriptor; the mapping keeps the memory.
    m_descriptor.reset();
    return true;
}

QImage imageIn(const std::shared_ptr<SharedBuffer>& buffer, QSize size, qsizetype bytesPerLine,
               QImage::Format format)
{
    if (!buffer->m_data)
        return QImage();
    // QImage's clean-up hook takes a plain pointer: it holds one more owner of the buffer.
    auto* lent = new std::shared_ptr<SharedBuffer>(buffer);
    return QImage(buffer->m_data, size.width(), size.height(), bytesPerLine, format, releaseLent,
                  lent);
}

} // namespace kavelora::picture
