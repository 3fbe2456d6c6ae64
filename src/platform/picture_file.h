// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

namespace kavelora::platform {

// The largest picture file read, in bytes; larger files raise ErrorNumber::OutOfMemory.
inline constexpr qint64 kMaxPictureFileBytes = 256LL * 1024 * 1024;

// The whole content of a regular file. Never blocks on a FIFO or device: a folder, FIFO,
// device or socket raises ErrorNumber::PathFileAccess at once, a missing file
// ErrorNumber::FileNotFound, an unreadable one ErrorNumber::PathFileAccess.
QByteArray readPictureFile(const QString& fileName);

} // namespace kavelora::platform
