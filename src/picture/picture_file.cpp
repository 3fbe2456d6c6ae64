// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/picture_file.h"

#include "picture/helper/bounded_call.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <optional>
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

struct Opened
{
    protocol::UniqueDescriptor descriptor;
    struct stat status = {};
    int error = 0;
};

// Opening a FIFO for reading waits for a writer; O_NONBLOCK returns at once instead, and the
// type check then refuses it without reading.
Opened openForReading(const QByteArray& path)
{
    Opened opened;
    int descriptor = -1;
    do {
        descriptor = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (descriptor < 0 && errno == EINTR);
    opened.descriptor = protocol::UniqueDescriptor(descriptor);
    if (descriptor < 0 || ::fstat(descriptor, &opened.status) != 0)
        opened.error = errno;
    return opened;
}

// A descriptor of its own for a call that may outlive the file's owner.
protocol::UniqueDescriptor duplicate(int descriptor, const QString& fileName)
{
    protocol::UniqueDescriptor copy(::fcntl(descriptor, F_DUPFD_CLOEXEC, 0));
    if (!copy.isValid())
        throw RuntimeError(ErrorNumber::PathFileAccess, fileName);
    return copy;
}

// Up to length bytes from the start of the file; nothing when reading fails.
std::optional<QByteArray> readFromStart(const protocol::UniqueDescriptor& file, qint64 length)
{
    QByteArray bytes(length, Qt::Uninitialized);
    qint64 done = 0;
    while (done < length) {
        const ssize_t count = ::pread(file.get(), bytes.data() + done,
                                      static_cast<size_t>(length - done), static_cast<off_t>(done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return std::nullopt;
        if (count == 0)
            break;
        done += count;
    }
    bytes.truncate(done);
    return bytes;
}

} // namespace

PictureFile::PictureFile(const QString& fileName, std::chrono::milliseconds timeLimit)
    : m_fileName(fileName)
    , m_timeLimit(timeLimit)
{
    std::optional<Opened> opened = BoundedCall::run<Opened>(
        [path = QFile::encodeName(fileName)] { return openForReading(path); }, timeLimit);
    if (!opened)
        throw RuntimeError(ErrorNumber::DeviceTimeout, fileName);
    if (opened->error != 0)
        raiseForErrno(opened->error, fileName);
    if (!S_ISREG(opened->status.st_mode))
        throw RuntimeError(ErrorNumber::PathFileAccess, fileName);
    if (opened->status.st_size > protocol::kMaxPictureFileBytes)
        throw RuntimeError(ErrorNumber::OutOfMemory, fileName);
    m_descriptor = std::move(opened->descriptor);
    m_size = opened->status.st_size;
    m_modifiedSeconds = opened->status.st_mtim.tv_sec;
    m_modifiedNanoseconds = opened->status.st_mtim.tv_nsec;
}

PictureFile::PictureFile(protocol::UniqueDescriptor descriptor, const struct stat& status,
                         const QString& fileName, std::chrono::milliseconds timeLimit)
    : m_fileName(fileName)
    , m_descriptor(std::move(descriptor))
    , m_timeLimit(timeLimit)
    , m_size(status.st_size)
    , m_modifiedSeconds(status.st_mtim.tv_sec)
    , m_modifiedNanoseconds(status.st_mtim.tv_nsec)
{}

PictureFile::~PictureFile()
{
    auto closing = std::make_shared<protocol::UniqueDescriptor>(std::move(m_descriptor));
    if (closing->isValid() && !BoundedCall::runWithoutWaiting([closing] { closing->reset(); }))
        closing->reset();
}

std::shared_ptr<PictureFile> PictureFile::snapshotOf(PictureFile& file)
{
    const QByteArray bytes = file.readAll();
    protocol::UniqueDescriptor copy(
        ::memfd_create("kavelora-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!copy.isValid())
        throw RuntimeError(ErrorNumber::OutOfMemory, file.m_fileName);
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(copy.get(), bytes.constData() + written,
                                      static_cast<size_t>(bytes.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            throw RuntimeError(ErrorNumber::OutOfMemory, file.m_fileName);
        written += count;
    }
    ::fcntl(copy.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    struct stat status = {};
    if (::fstat(copy.get(), &status) != 0)
        throw RuntimeError(ErrorNumber::OutOfMemory, file.m_fileName);
    return std::shared_ptr<PictureFile>(
        new PictureFile(std::move(copy), status, file.m_fileName, file.m_timeLimit));
}

QByteArray PictureFile::readAll()
{
    std::optional<std::optional<QByteArray>> bytes = BoundedCall::run<std::optional<QByteArray>>(
        [file = std::make_shared<protocol::UniqueDescriptor>(
             duplicate(m_descriptor.get(), m_fileName)),
         length = m_size] { return readFromStart(*file, length); },
        m_timeLimit);
    if (!bytes)
        throw RuntimeError(ErrorNumber::DeviceTimeout, m_fileName);
    if (!*bytes)
        throw RuntimeError(ErrorNumber::PathFileAccess, m_fileName);
    return std::move(**bytes);
}

bool PictureFile::isUnchanged() const
{
    using Status = std::optional<struct stat>;
    auto copy = std::make_shared<protocol::UniqueDescriptor>(
        ::fcntl(m_descriptor.get(), F_DUPFD_CLOEXEC, 0));
    if (!copy->isValid())
        return false;
    const std::optional<Status> status = BoundedCall::run<Status>(
        [file = std::move(copy)] {
            struct stat now = {};
            return ::fstat(file->get(), &now) == 0 ? Status(now) : std::nullopt;
        },
        m_timeLimit);
    return status && *status && (*status)->st_size == m_size &&
           (*status)->st_mtim.tv_sec == m_modifiedSeconds &&
           (*status)->st_mtim.tv_nsec == m_modifiedNanoseconds;
}

} // namespace kavelora::picture
