// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>

namespace kavelora::picture {

// A regular file opened for reading a picture, never blocking on a FIFO or device. Raises
// FileNotFound, PathFileAccess for anything but a readable regular file, or OutOfMemory over
// kMaxPictureFileBytes. The size at open bounds every read, even if the file grows.
class PictureFile
{
public:
    explicit PictureFile(const QString& fileName);
    // A sealed copy of what file holds now, which no one can change.
    static std::shared_ptr<PictureFile> snapshotOf(PictureFile& file);

    qint64 size() const { return m_size; }
    // The whole content. Raises ErrorNumber::PathFileAccess when reading fails.
    QByteArray readAll();
    // The open file's descriptor, which the decoder helper reads.
    int descriptor() const { return m_file.handle(); }
    // Whether size and modification time still match: a rename or removal keeps the opened
    // content, a write in place does not.
    bool isUnchanged() const;

private:
    PictureFile(int descriptor, const QString& fileName);
    QByteArray readFromStart(qint64 length);

    QString m_fileName;
    QFile m_file;
    qint64 m_size = 0;
    qint64 m_modifiedSeconds = 0;
    qint64 m_modifiedNanoseconds = 0;
};

} // namespace kavelora::picture
