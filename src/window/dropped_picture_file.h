// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

class QMimeData;

namespace kavelora::window {

// The file a drop on the window opens: the first URL of a text/uri-list when it names an
// absolute path on this machine, decoded to a file name; nothing for remote URLs, plain text,
// an empty list or a name ending in a slash (a folder). Decided from the names alone: a drag
// passes over the window many times a second, and the file system behind a name may stall.
std::optional<QString> droppedPictureFile(const QMimeData& data);

} // namespace kavelora::window
