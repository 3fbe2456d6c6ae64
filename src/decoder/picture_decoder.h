// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/decoded_picture.h"
#include "decoder/common/picture_stream.h"

#include <QByteArray>
#include <QSize>

namespace kavelora::decoder {

// What decoding a picture file gives back: the pixels, the format its content told, and
// whether it is an animation, whose frames FrameReader plays.
struct DecodedFile
{
    DecodedPicture picture;
    QByteArray format;
    bool animated = false;
};

// The picture in bytes, in a format of the allow-list told by its content. A JPEG is decoded
// at the coarsest scale (1/2, 1/4, 1/8) still covering coverPixels, a PNG, WebP, TIFF or still
// GIF area-averaged by the coarsest whole factor covering it where their readers can; an
// animation gives its first frame. When the decode would give exactly decodedAlready's size,
// the image is left null. Raises RuntimeError: InvalidPicture, or OutOfMemory over
// kMaxPicturePixels.
DecodedFile decodePicture(const QByteArray& bytes, QSize coverPixels, QSize decodedAlready = {});

// Like decodePicture, decoding straight from stream where its head suffices for the checks.
DecodedFile decodePictureStream(PictureStream& stream, QSize coverPixels,
                                QSize decodedAlready = {});

// image within the pixel cap, sRGB, 8 bits per channel. Raises OutOfMemory over the cap.
QImage finishedPixels(QImage image);

} // namespace kavelora::decoder
