// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/limits.h"
#include "picture/picture.h"
#include "picture/picture_file.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <memory>

namespace kavelora::picture {

// The picture in bytes, checked and decoded in memory. Only formats from the allow-list are
// decoded, decided from the content. A JPEG larger than the pixel cap or far larger than
// screenPixels is decoded at reduced scale (1/2, 1/4 or 1/8) but no smaller than screenPixels,
// and keeps its bytes for finer decodes; so does an animation, for its frames. Any other
// picture keeps none. logicalDpi is the screen's, for the picture's own size. Raises RuntimeError
// (ErrorNumber::InvalidPicture, or ErrorNumber::OutOfMemory for a picture over
// kMaxPicturePixels).
Picture decodePicture(const QByteArray& bytes, double logicalDpi, QSize screenPixels,
                      const QString& fileName = {});

// The picture in file, checked and decoded like decodePicture. A picture other than a GIF is
// decoded straight from the file when its checks need no more than the file's first
// kPictureHeadBytes and it is not an animation; anything else is read whole first. A JPEG
// decoded at reduced scale keeps the open file, not its bytes.
Picture decodePictureFile(const std::shared_ptr<PictureFile>& file, double logicalDpi,
                          QSize screenPixels, const QString& fileName);

// Like decodeJpegForSize, reading the JPEG straight from file, which was checked when it was
// opened. decodedAlready when the file was written to since, or when it cannot be decoded
// as it was.
QImage decodeJpegFileForSize(PictureFile& file, QSize targetPixels, const QImage& decodedAlready);

// The JPEG in bytes decoded at the smallest reduced scale giving at least targetPixels
// (oriented), bounded by the pixel cap; decodedAlready when it has that size already.
// Raises RuntimeError when decoding fails.
QImage decodeJpegForSize(const QByteArray& bytes, QSize targetPixels,
                         const QImage& decodedAlready = {});

} // namespace kavelora::picture
