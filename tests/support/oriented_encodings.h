// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QImage>

// Pictures whose headers ask for an orientation, written through the codec libraries' own
// encoders: heif-enc and cjxl cannot set one.
namespace kavelora::tests {

// image as a HEIC (lossy) whose irot and imir give orientation, an Exif value 1 to 8; empty
// when the encoder fails.
QByteArray heifWithOrientation(const QImage& image, int orientation);

// image as a lossless JPEG XL whose header holds orientation, an Exif value 1 to 8; empty when
// the encoder fails.
QByteArray jxlWithOrientation(const QImage& image, int orientation);

} // namespace kavelora::tests
