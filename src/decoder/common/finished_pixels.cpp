// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/common/finished_pixels.h"

#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <QColorSpace>

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

// Screens and printers take 8 bits per channel. A deeper picture would make every drawing
// and every scaling for print work on a converted copy two to four times its size.
QImage eightBitsPerChannel(QImage image)
{
    switch (image.format()) {
    case QImage::Format_Grayscale16:
        return image.convertToFormat(QImage::Format_Grayscale8);
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_RGBX16FPx4:
    case QImage::Format_RGBA16FPx4:
    case QImage::Format_RGBA16FPx4_Premultiplied:
    case QImage::Format_RGBX32FPx4:
    case QImage::Format_RGBA32FPx4:
    case QImage::Format_RGBA32FPx4_Premultiplied:
        return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                             : QImage::Format_RGB32);
    default:
        return image;
    }
}

} // namespace

QImage finishedPixels(QImage image)
{
    if (static_cast<qint64>(image.width()) * image.height() > protocol::kMaxPicturePixels)
        throw RuntimeError(ErrorNumber::OutOfMemory);
    if (image.colorSpace().isValid() && image.colorSpace() != QColorSpace::SRgb)
        image.convertToColorSpace(QColorSpace::SRgb);
    return eightBitsPerChannel(std::move(image));
}

} // namespace kavelora::decoder
