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

// The picture in bytes, in a format of the allow-list told by its content. A JPEG is decoded
// at the coarsest scale (1/2, 1/4, 1/8) still covering screenPixels, keeping its bytes for
// finer decodes, as an animation keeps them for its frames. Raises RuntimeError:
// InvalidPicture, or OutOfMemory over kMaxPicturePixels.
Picture decodePicture(const QByteArray& bytes, double logicalDpi, QSize screenPixels,
                      const QString& fileName = {});

// Like decodePicture, decoding straight from file where its head suffices for the checks; a
// reduced JPEG keeps the open file instead of its bytes.
Picture decodePictureFile(const std::shared_ptr<PictureFile>& file, double logicalDpi,
                          QSize screenPixels, const QString& fileName);

// Like decodeJpegForSize, from file; decodedAlready when the file changed since it was opened
// or no longer decodes.
QImage decodeJpegFileForSize(PictureFile& file, QSize targetPixels, const QImage& decodedAlready);

// The JPEG in bytes at the coarsest scale giving at least targetPixels, within the pixel cap;
// decodedAlready when it has that size already. Raises RuntimeError when decoding fails.
QImage decodeJpegForSize(const QByteArray& bytes, QSize targetPixels,
                         const QImage& decodedAlready = {});

// The PNG, WebP or TIFF that source keeps (bytes or open file), of ownSize, reduced by the coarsest
// factor still covering targetPixels; decodedAlready when it has that size or the file
// changed. Raises RuntimeError when kept bytes no longer decode.
QImage decodeReducedForSize(const PictureSource& source, QSize ownSize, QSize targetPixels,
                            const QImage& decodedAlready);

} // namespace kavelora::picture
