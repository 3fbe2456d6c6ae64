// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/picture_file.h"

#include "picture/limits.h"
#include "platform/runtime_error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kavelora::picture {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

[[noreturn]] void raiseForErrno(int error, const QString& fileName)
{
    const ErrorNumber number = (error == ENOENT || error == ENOTDIR) ? ErrorNumber::FileNotFound
                                                                     : ErrorNumber::PathFileAccess;
    throw RuntimeError(number, fileName);
}

// Opening a FIFO for reading waits for a writer; O_NONBLOCK returns at once instead, and the
// type check then refuses it without reading.
int openForReading(const QString& fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    int descriptor = -1;
    do {
        descriptor = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0)
        raiseForErrno(errno, fileName);
    return descriptor;
}

} // namespace

PictureFile::PictureFile(const QString& fileName)
    : PictureFile(openForReading(fileName), fileName)
{}

PictureFile::PictureFile(int descriptor, const QString& fileName)
    : m_fileName(fileName)
{
    if (!m_file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        throw RuntimeError(ErrorNumber::PathFileAccess, fileName);
    }
    struct stat status = {};
    if (::fstat(descriptor, &status) != 0)
        raiseForErrno(errno, fileName);
    if (!S_ISREG(status.st_mode))
        throw RuntimeError(ErrorNumber::PathFileAccess, fileName);
    if (status.st_size > kMaxPictureFileBytes)
        throw RuntimeError(ErrorNumber::OutOfMemory, fileName);
    m_size = status.st_size;
    m_modifiedSeconds = status.st_mtim.tv_sec;
    m_modifiedNanoseconds = status.st_mtim.tv_nsec;
}

std::shared_ptr<PictureFile> PictureFile::snapshotOf(PictureFile& file)
{
    const QByteArray bytes = file.readAll();
    const int copy = ::memfd_create("kavelora-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (copy < 0)
        throw RuntimeError(ErrorNumber::OutOfMemory, file.m_fileName);
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t count =
            ::write(copy, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            ::close(copy);
            throw RuntimeError(ErrorNumber::OutOfMemory, file.m_fileName);
        }
        written += count;
    }
    ::fcntl(copy, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    return std::shared_ptr<PictureFile>(new PictureFile(copy, file.m_fileName));
}

QByteArray PictureFile::readAll()
{
    return readFromStart(m_size);
}

bool PictureFile::isUnchanged() const
{
    struct stat status = {};
    return ::fstat(m_file.handle(), &status) == 0 && status.st_size == m_size &&
           status.st_mtim.tv_sec == m_modifiedSeconds &&
           status.st_mtim.tv_nsec == m_modifiedNanoseconds;
}

QByteArray PictureFile::readFromStart(qint64 length)
{
    if (!m_file.seek(0))
        throw RuntimeError(ErrorNumber::PathFileAccess, m_fileName);
    QByteArray bytes = m_file.read(length);
    if (m_file.error() != QFileDevice::NoError)
        throw RuntimeError(ErrorNumber::PathFileAccess, m_fileName);
    return bytes;
}

} // namespace kavelora::picture
