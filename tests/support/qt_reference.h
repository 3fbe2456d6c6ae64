// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QImage>

// What Qt's own reader makes of a file: the reference the reader tests compare against.
namespace kavelora::tests {

// bytes read by Qt's reader for format, turned upright, in sRGB, each side divided by
// denominator as Qt's reader scales; null when Qt's reader refuses them.
QImage decodedByQt(const QByteArray& bytes, const char* format, int denominator = 1);

} // namespace kavelora::tests
