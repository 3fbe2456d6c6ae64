// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QImageIOHandler>

class QIODevice;

namespace kavelora::picture {

// Decodes the JPEG on device, from its start, at 1/denominator of its size (denominator 1, 2,
// 4 or 8) and turned to orientation: grey pictures as Grayscale8, colour and CMYK ones as
// RGB32, carrying the colour space of an embedded profile. The input reaches libjpeg in 64 KiB
// blocks: Qt's own reader hands it 4 KiB at a time, which keeps libjpeg's Huffman decoder on
// its slower path for most of a large photo.
// Raises RuntimeError(InvalidPicture) for a file libjpeg gives up on, and
// RuntimeError(OutOfMemory) when the picture cannot be allocated or libjpeg would buffer more
// of it than the header checks allow.
QImage readJpeg(QIODevice& device, int denominator, QImageIOHandler::Transformations orientation);

} // namespace kavelora::picture
