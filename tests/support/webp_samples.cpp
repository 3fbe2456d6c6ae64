// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "webp_samples.h"

#include <webp/encode.h>

namespace kavelora::tests {

QImage softPhoto(QSize size, bool withAlpha)
{
    QImage image(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int detail = ((x * 7 + y * 13) % 17) * 3;
            const int alpha = withAlpha ? (x * 255 / size.width() + 40) % 256 : 255;
            image.setPixel(x, y,
                           qRgba((x * 255 / size.width() + detail) % 256,
                                 (y * 255 / size.height() + detail / 2) % 256,
                                 (x + y) * 255 / (size.width() + size.height()), alpha));
        }
    }
    return image;
}

QByteArray webpFile(const QImage& image, bool lossless)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    uint8_t* output = nullptr;
    const auto* pixels = argb.constBits();
    const int stride = static_cast<int>(argb.bytesPerLine());
    // Format_ARGB32 is B, G, R, A in memory on the little-endian machines this runs on.
    const std::size_t size =
        lossless ? WebPEncodeLosslessBGRA(pixels, argb.width(), argb.height(), stride, &output)
                 : WebPEncodeBGRA(pixels, argb.width(), argb.height(), stride, 90, &output);
    QByteArray bytes(reinterpret_cast<const char*>(output), static_cast<qsizetype>(size));
    WebPFree(output);
    return bytes;
}

} // namespace kavelora::tests
