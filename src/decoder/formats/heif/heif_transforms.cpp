// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/heif/heif_transforms.h"

#include "decoder/formats/heif/heif_boxes.h"

#include <cmath>

namespace kavelora::decoder::heif {
namespace {

// A fraction of clap: a signed 32-bit numerator over an unsigned denominator, not 0.
long double takeFraction(Fields& fields)
{
    const auto numerator = static_cast<qint32>(static_cast<quint32>(fields.take(4)));
    const quint64 denominator = fields.take(4);
    refuseUnless(!fields.failed() && denominator != 0);
    return static_cast<long double>(numerator) / static_cast<long double>(denominator);
}

ImageTransform crop(const QByteArray& file, const Box& clap, QSize size)
{
    Fields fields(file, clap);
    const long double width = takeFraction(fields);
    const long double height = takeFraction(fields);
    const long double horizontalOffset = takeFraction(fields);
    const long double verticalOffset = takeFraction(fields);
    const long double centreX = horizontalOffset + (size.width() - 1) / 2.0L;
    const long double centreY = verticalOffset + (size.height() - 1) / 2.0L;
    const long double left = std::floor(centreX - (width - 1) / 2);
    const long double right = std::floor(centreX + (width - 1) / 2);
    const long double top = std::floor(centreY - (height - 1) / 2);
    const long double bottom = std::floor(centreY + (height - 1) / 2);
    refuseUnless(left >= 0 && top >= 0 && right >= left && bottom >= top && right < size.width() &&
                 bottom < size.height());
    ImageTransform transform;
    transform.kind = ImageTransform::Kind::Crop;
    transform.kept = QRect(QPoint(static_cast<int>(left), static_cast<int>(top)),
                           QPoint(static_cast<int>(right), static_cast<int>(bottom)));
    return transform;
}

} // namespace

std::optional<ImageTransform> transformOf(const QByteArray& file, const Box& property, QSize size)
{
    if (property.type == "clap")
        return crop(file, property, size);
    if (property.type != "irot" && property.type != "imir")
        return std::nullopt;
    Fields fields(file, property);
    const quint64 value = fields.take(1);
    refuseUnless(!fields.failed());
    ImageTransform transform;
    if (property.type == "irot") {
        transform.kind = ImageTransform::Kind::Rotation;
        transform.quarterTurns = static_cast<int>(value & 3);
    } else {
        transform.kind = ImageTransform::Kind::Mirror;
        transform.leftRight = (value & 1) != 0;
    }
    return transform;
}

bool isKnownProperty(const QByteArray& type)
{
    static const char* const known[] = {"hvcC", "ispe", "colr", "pixi", "clap", "irot",
                                        "imir", "auxC", "clli", "mdcv", "pasp", "rloc",
                                        "lsel", "cclv", "amve", "udes"};
    return std::any_of(std::begin(known), std::end(known),
                       [&type](const char* name) { return type == name; });
}

} // namespace kavelora::decoder::heif
