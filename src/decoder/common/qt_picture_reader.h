// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/decoded_picture.h"
#include "decoder/common/pixel_allocation.h"
#include "decoder/picture_format.h"

#include <QByteArrayView>
#include <QImage>
#include <QImageIOHandler>
#include <QImageReader>
#include <QSize>

#include <functional>
#include <optional>

class QIODevice;

namespace kavelora::decoder {

// Qt's reader for one named format on device, as the helper uses it: the format never
// guessed from the content, the orientation a file states applied, and Qt's allocation limit
// raised to what the pixel cap allows.
class QtPictureReader
{
public:
    QtPictureReader(QIODevice& device, QByteArrayView format);

    // The picture's size once oriented; invalid when the header does not tell it.
    QSize orientedSize();
    QImageIOHandler::Transformations transformation();
    bool isAnimation();
    QIODevice& device() { return *m_reader.device(); }

    // The first picture, within the pixel cap, sRGB, 8 bits per channel, in memory from
    // allocate where Qt's reader fills an image it is handed (PNG, TIFF, BMP among them).
    // Raises RuntimeError: InvalidPicture, OutOfMemory over the cap.
    QImage read(const PixelAllocator& allocate);

private:
    QImageReader m_reader;
};

// The picture on device (from its start) as Qt's reader for format reads it: whole, the first
// frame of an animation. Raises RuntimeError: InvalidPicture, OutOfMemory over the pixel cap.
DecodedPicture readWithQt(QIODevice& device, QByteArrayView format, const ReadRequest& request);

// For a format whose own reader reduces by areaReductionFactor: the picture from readReduced,
// unless Qt's reader for format tells an animation or an orientation to apply (then nullopt,
// for Qt's reader). A null image, without reading, when the decode would give request.held.
// Raises RuntimeError as readReduced does, OutOfMemory for a picture over the pixel cap.
std::optional<DecodedPicture>
readOwnReduction(QIODevice& device, QByteArrayView format, const ReadRequest& request,
                 const std::function<std::optional<DecodedPicture>()>& readReduced);

} // namespace kavelora::decoder
