// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "qt_reference.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>

namespace kavelora::tests {

QImage decodedByQt(const QByteArray& bytes, const char* format, int denominator)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoTransform(true);
    if (denominator > 1) {
        const QSize size = reader.size();
        reader.setScaledSize(QSize(size.width() / denominator, size.height() / denominator));
    }
    QImage image = reader.read();
    if (image.colorSpace().isValid() && image.colorSpace() != QColorSpace::SRgb)
        image.convertToColorSpace(QColorSpace::SRgb);
    return image;
}

} // namespace kavelora::tests
