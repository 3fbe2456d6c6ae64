// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace kavelora::decoder {

// What one decode gives back. image is sRGB, 8 bits per channel (Grayscale8, RGB32, ARGB32 or
// ARGB32_Premultiplied), oriented, within kMaxPicturePixels; it covers the size asked for both
// ways where the format can decode smaller, else it is the whole picture; it is null when the
// decode would give the size already held. ownSize is the whole picture's size after
// orientation. format is the name of the format its content told ("png"); animated says the
// file holds more frames, which FrameReader plays.
struct DecodedPicture
{
    QImage image;
    QSize ownSize;
    QByteArray format = {};
    bool animated = false;
};

} // namespace kavelora::decoder
