// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace kavelora::picture {

// A regular file opened for reading a picture. Opening never blocks on a FIFO or device: a
// folder, FIFO, device or socket raises ErrorNumber::PathFileAccess at once, a missing file
// ErrorNumber::FileNotFound, an unreadable one ErrorNumber::PathFileAccess, one over
// kMaxPictureFileBytes ErrorNumber::OutOfMemory. The size taken
// at open bounds every whole read, even if the file grows meanwhile.
class PictureFile
{
public:
    explicit PictureFile(const QString& fileName);

    qint64 size() const { return m_size; }
    // Up to length bytes from the start of the file.
    QByteArray head(qint64 length);
    // The whole content. Raises ErrorNumber::PathFileAccess when reading fails.
    QByteArray readAll();
    // The open file at its start, for a decoder that reads only what it needs.
    QIODevice& device();
    // Whether the content is still what was opened, as far as its size and modification time
    // tell. A rename or removal keeps the opened content readable; a write in place does not.
    bool isUnchanged() const;

private:
    QByteArray readFromStart(qint64 length);

    QString m_fileName;
    QFile m_file;
    qint64 m_size = 0;
    qint64 m_modifiedSeconds = 0;
    qint64 m_modifiedNanoseconds = 0;
};

} // namespace kavelora::picture
