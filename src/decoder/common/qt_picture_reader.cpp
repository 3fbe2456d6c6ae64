// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/common/qt_picture_reader.h"

#include "decoder/common/area_reducer.h"
#include "decoder/common/finished_pixels.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <QIODevice>

#include <mutex>

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

void raiseAllocationLimit()
{
    // Qt's default of 128 MiB refuses an ordinary 36-megapixel photo; the pixel cap keeps
    // every decode well inside the higher limit.
    static std::once_flag once;
    std::call_once(once,
                   [] { QImageReader::setAllocationLimit(protocol::kDecodeAllocationLimitMiB); });
}

bool isOverPixelCap(QSize size)
{
    return size.isValid() &&
           static_cast<qint64>(size.width()) * size.height() > protocol::kMaxPicturePixels;
}

// The oriented size reader tells. Raises OutOfMemory over the pixel cap.
QSize ownSizeWithinCap(QtPictureReader& reader)
{
    const QSize ownSize = reader.orientedSize();
    if (isOverPixelCap(ownSize))
        throw RuntimeError(ErrorNumber::OutOfMemory);
    return ownSize;
}

bool isHeldAlready(QSize decodedSize, const ReadRequest& request)
{
    return decodedSize.isValid() && decodedSize == request.held;
}

} // namespace

QtPictureReader::QtPictureReader(QIODevice& device, QByteArrayView format)
{
    raiseAllocationLimit();
    device.seek(0);
    m_reader.setDevice(&device);
    m_reader.setFormat(format.toByteArray());
    m_reader.setAutoDetectImageFormat(false);
    m_reader.setAutoTransform(true);
}

QSize QtPictureReader::orientedSize()
{
    const QSize rawSize = m_reader.size();
    return transformation().testFlag(QImageIOHandler::TransformationRotate90) ? rawSize.transposed()
                                                                              : rawSize;
}

QImageIOHandler::Transformations QtPictureReader::transformation()
{
    return m_reader.transformation();
}

bool QtPictureReader::isAnimation()
{
    return m_reader.supportsAnimation() && m_reader.imageCount() > 1;
}

QImage QtPictureReader::read(const PixelAllocator& allocate)
{
    QImage image;
    const QSize size = m_reader.size();
    const QImage::Format format = m_reader.imageFormat();
    if (size.isValid() && format != QImage::Format_Invalid && !isOverPixelCap(size))
        image = allocate(size, format);
    if (!m_reader.read(&image) || image.isNull())
        throw RuntimeError(ErrorNumber::InvalidPicture, m_reader.errorString());
    return finishedPixels(std::move(image));
}

DecodedPicture readWithQt(QIODevice& device, QByteArrayView format, const ReadRequest& request)
{
    QtPictureReader reader(device, format);
    const QSize ownSize = ownSizeWithinCap(reader);
    const bool animated = reader.isAnimation();
    if (isHeldAlready(ownSize, request))
        return DecodedPicture{QImage(), ownSize, {}, animated};
    QImage image = reader.read(request.allocate);
    // Qt's readers decode the whole picture, so what they decoded is its own size. The size
    // told before may differ: Qt's GIF reader tells the first image's, which may be empty or
    // smaller, yet decodes the screen's.
    const QSize whole = image.size();
    return {std::move(image), whole, {}, animated};
}

std::optional<DecodedPicture>
readOwnReduction(QIODevice& device, QByteArrayView format, const ReadRequest& request,
                 const std::function<std::optional<DecodedPicture>()>& readReduced)
{
    QtPictureReader reader(device, format);
    const QSize ownSize = ownSizeWithinCap(reader);
    if (reader.isAnimation() || reader.transformation() != QImageIOHandler::TransformationNone)
        return std::nullopt;
    // Neither the reduced copy nor the whole picture is decoded again when it is held already.
    const QSize reduced = reducedSize(ownSize, areaReductionFactor(ownSize, request.cover));
    if (isHeldAlready(reduced, request) || isHeldAlready(ownSize, request))
        return DecodedPicture{QImage(), ownSize};
    return readReduced();
}

} // namespace kavelora::decoder
