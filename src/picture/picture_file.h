// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "protocol/unique_descriptor.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>

struct stat;

namespace kavelora::picture {

// A regular file opened for reading a picture, never blocking on a FIFO or device, nor for
// longer than a time limit on a slow or stalled file system. Raises FileNotFound,
// PathFileAccess for anything but a readable regular file, OutOfMemory over
// kMaxPictureFileBytes, or DeviceTimeout. The size at open bounds every read, even if the
// file grows.
class PictureFile
{
public:
    static constexpr std::chrono::milliseconds kTimeLimit{10000};

    // Opens fileName, taking at most timeLimit to open it and read its status.
    explicit PictureFile(const QString& fileName, std::chrono::milliseconds timeLimit = kTimeLimit);
    // A sealed copy of what file holds now, which no one can change.
    static std::shared_ptr<PictureFile> snapshotOf(PictureFile& file);
    // Closes the file without waiting: closing waits on a FUSE file system's daemon.
    ~PictureFile();
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;

    qint64 size() const { return m_size; }
    // The whole content. Raises ErrorNumber::PathFileAccess when reading fails, DeviceTimeout
    // when it takes longer than the time limit.
    QByteArray readAll();
    // The open file's descriptor, which the decoder helper reads.
    int descriptor() const { return m_descriptor.get(); }
    // Whether size and modification time still match: a rename or removal keeps the opened
    // content, a write in place does not. False too when the file system does not say in time.
    bool isUnchanged() const;

private:
    PictureFile(protocol::UniqueDescriptor descriptor, const struct stat& status,
                const QString& fileName, std::chrono::milliseconds timeLimit);

    QString m_fileName;
    protocol::UniqueDescriptor m_descriptor;
    std::chrono::milliseconds m_timeLimit;
    qint64 m_size = 0;
    qint64 m_modifiedSeconds = 0;
    qint64 m_modifiedNanoseconds = 0;
};

} // namespace kavelora::picture
