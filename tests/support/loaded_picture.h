// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "in_process_decoding.h"
#include "picture/picture.h"

#include <QByteArray>
#include <QSize>

namespace kavelora::tests {

// The picture in bytes opened as the open command opens a file: written to a file of its own,
// decoded by decoding (in this process unless told) covering coverPixels, the file kept for
// finer copies.
picture::Picture
loadedPicture(const QByteArray& bytes, QSize coverPixels,
              const std::shared_ptr<picture::PictureDecoding>& decoding = inProcessDecoding());

} // namespace kavelora::tests
