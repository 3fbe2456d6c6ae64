// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "platform/picture_file.h"

#include "platform/runtime_error.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kavelora::platform {

namespace {

[[noreturn]] void raiseForErrno(int error, const QString& fileName)
{
    const ErrorNumber number = (error == ENOENT || error == ENOTDIR) ? ErrorNumber::FileNotFound
                                                                     : ErrorNumber::PathFileAccess;
    throw RuntimeError(number, fileName);
}

} // namespace

QByteArray readPictureFile(const QString& fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    // Opening a FIFO for reading waits for a writer; O_NONBLOCK returns at once instead, and
    // the type check below then refuses it without reading.
    int descriptor = -1;
    do {
        descriptor = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0)
        raiseForErrno(errno, fileName);

    QFile file;
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
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

    // The size taken at open bounds the read, even if the file grows meanwhile.
    QByteArray bytes = file.read(status.st_size);
    if (file.error() != QFileDevice::NoError)
        throw RuntimeError(ErrorNumber::PathFileAccess, fileName);
    return bytes;
}

} // namespace kavelora::platform
