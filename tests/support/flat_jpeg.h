// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QSize>
#include <QString>

namespace kavelora::tests {

// Writes a grey (128, 128, 128) colour JPEG of size at path, marker by marker, with no picture
// in memory: every 8 x 8 block says "no change, no detail" in six bits, so the file stays
// under 0.02 byte a pixel while a decoder still walks every block. At the largest size a JPEG
// allows (65500 pixels a side) a decode takes seconds. False when the file cannot be written.
bool writeFlatGreyJpeg(const QString& path, QSize size);

} // namespace kavelora::tests
