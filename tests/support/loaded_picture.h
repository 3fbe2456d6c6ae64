// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/picture.h"

#include <QByteArray>
#include <QSize>

namespace kavelora::tests {

// The picture in bytes opened as the open command opens a file: written to a file of its own,
// decoded by the decoder helper covering coverPixels, the file kept for finer copies.
picture::Picture loadedPicture(const QByteArray& bytes, QSize coverPixels);

} // namespace kavelora::tests
