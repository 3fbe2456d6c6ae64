// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/heif/heif_orientation.h"

#include "platform/runtime_error.h"

#include <cmath>
#include <cstring>

namespace kavelora::decoder::heif {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

// The step that turns a picture of size a quarter turn anticlockwise: (x, y) to (y, w - x).
QTransform quarterTurn(QSize size)
{
    return QTransform(0, -1, 1, 0, 0, size.width());
}

QTransform mirror(QSize size, bool leftRight)
{
    return leftRight ? QTransform(-1, 0, 0, 1, size.width(), 0)
                     : QTransform(1, 0, 0, -1, 0, size.height());
}

QSize mappedSize(const QTransform& transform, QSize size)
{
    return transform.mapRect(QRectF(QPointF(0, 0), QSizeF(size))).toAlignedRect().size();
}

} // namespace

QSize ComposedTransforms::orientedSize() const
{
    return mappedSize(orientation, crop.size());
}

ComposedTransforms composeTransforms(QSize base, const std::vector<ImageTransform>& transforms)
{
    ComposedTransforms composed{QRect(QPoint(0, 0), base), QTransform()};
    for (const ImageTransform& transform : transforms) {
        const QSize current = composed.orientedSize();
        switch (transform.kind) {
        case ImageTransform::Kind::Rotation:
            for (int turn = 0; turn < (transform.quarterTurns & 3); ++turn)
                composed.orientation *= quarterTurn(composed.orientedSize());
            break;
        case ImageTransform::Kind::Mirror:
            composed.orientation *= mirror(current, transform.leftRight);
            break;
        case ImageTransform::Kind::Crop: {
            const QRect& kept = transform.kept;
            if (kept.isEmpty() || !QRect(QPoint(0, 0), current).contains(kept))
                throw RuntimeError(ErrorNumber::InvalidPicture);
            // The kept part in the crop's own pixels, where the crop so far moves to.
            const QRect source =
                composed.orientation.inverted().mapRect(QRectF(kept)).toAlignedRect();
            composed.crop = source.translated(composed.crop.topLeft());
            composed.orientation = QTransform::fromTranslate(source.x(), source.y()) *
                                   composed.orientation *
                                   QTransform::fromTranslate(-kept.x(), -kept.y());
            break;
        }
        }
    }
    return composed;
}

QImage orientedCopy(const QImage& source, const QTransform& orientation,
                    const PixelAllocator& allocate)
{
    const QTransform linear(orientation.m11(), orientation.m12(), orientation.m21(),
                            orientation.m22(), 0, 0);
    if (linear.isIdentity())
        return source;
    const QRectF mapped = linear.mapRect(QRectF(QPointF(0, 0), QSizeF(source.size())));
    const QTransform placed = linear * QTransform::fromTranslate(-mapped.x(), -mapped.y());
    QImage target = allocate(mapped.toAlignedRect().size(), source.format());
    if (target.isNull())
        throw RuntimeError(ErrorNumber::OutOfMemory);
    // Each target pixel's centre maps back onto one source pixel; the steps are whole pixels.
    const QTransform back = placed.inverted();
    const QPointF first = back.map(QPointF(0.5, 0.5));
    const int startX = static_cast<int>(std::floor(first.x()));
    const int startY = static_cast<int>(std::floor(first.y()));
    const int stepXAcross = static_cast<int>(back.m11());
    const int stepYAcross = static_cast<int>(back.m12());
    const int stepXDown = static_cast<int>(back.m21());
    const int stepYDown = static_cast<int>(back.m22());
    const int bytes = source.depth() / 8;
    for (int y = 0; y < target.height(); ++y) {
        uchar* out = target.scanLine(y);
        int sourceX = startX + y * stepXDown;
        int sourceY = startY + y * stepYDown;
        for (int x = 0; x < target.width(); ++x) {
            std::memcpy(out + x * bytes, source.constScanLine(sourceY) + sourceX * bytes,
                        static_cast<std::size_t>(bytes));
            sourceX += stepXAcross;
            sourceY += stepYAcross;
        }
    }
    return target;
}

} // namespace kavelora::decoder::heif
