// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/common/picture_stream.h"

#include "platform/runtime_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;

PictureStream::Device::Device(int descriptor, const QByteArray* bytes, qint64 size)
    : m_descriptor(descriptor)
    , m_bytes(bytes)
    , m_size(size)
{}

qint64 PictureStream::Device::readData(char* data, qint64 maxSize)
{
    const qint64 wanted = std::min(maxSize, m_size - pos());
    if (wanted <= 0)
        return 0;
    if (m_descriptor < 0) {
        std::memcpy(data, m_bytes->constData() + pos(), static_cast<std::size_t>(wanted));
        return wanted;
    }
    ssize_t count = -1;
    do {
        count = ::pread(m_descriptor, data, static_cast<size_t>(wanted), pos());
    } while (count < 0 && errno == EINTR);
    return count;
}

PictureStream::PictureStream(protocol::UniqueDescriptor descriptor, qint64 size)
    : m_descriptor(std::move(descriptor))
    , m_size(std::max<qint64>(size, 0))
    , m_device(m_descriptor.get(), nullptr, m_size)
{
    m_device.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

PictureStream::PictureStream(QByteArray bytes)
    : m_bytes(std::move(bytes))
    , m_size(m_bytes.size())
    , m_device(-1, &m_bytes, m_size)
{
    m_device.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

QByteArray PictureStream::head(qint64 length)
{
    return readFromStart(std::min(length, m_size));
}

QByteArray PictureStream::readAll()
{
    QByteArray bytes = readFromStart(m_size);
    if (bytes.size() != m_size)
        throw RuntimeError(ErrorNumber::PathFileAccess);
    return bytes;
}

QIODevice& PictureStream::device()
{
    m_device.seek(0);
    return m_device;
}

QByteArray PictureStream::readFromStart(qint64 length)
{
    if (!m_descriptor.isValid())
        return m_bytes.left(length);
    QByteArray bytes(length, Qt::Uninitialized);
    qint64 done = 0;
    while (done < length) {
        ssize_t count = ::pread(m_descriptor.get(), bytes.data() + done,
                                static_cast<size_t>(length - done), done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            throw RuntimeError(ErrorNumber::PathFileAccess);
        if (count == 0)
            break;
        done += count;
    }
    bytes.truncate(done);
    return bytes;
}

} // namespace kavelora::decoder
