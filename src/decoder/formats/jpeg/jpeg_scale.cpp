// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/jpeg/jpeg_scale.h"

#include "protocol/picture_limits.h"

#include <array>

namespace kavelora::decoder {

namespace {

constexpr std::array kJpegDenominators = {8, 4, 2, 1};

qint64 pixelCount(QSize size)
{
    return static_cast<qint64>(size.width()) * size.height();
}

} // namespace

QSize jpegScaledSize(QSize size, int denominator)
{
    return QSize((size.width() + denominator - 1) / denominator,
                 (size.height() + denominator - 1) / denominator);
}

std::optional<int> jpegDenominator(QSize orientedSize, QSize target)
{
    for (int denominator : kJpegDenominators) {
        const QSize scaled = jpegScaledSize(orientedSize, denominator);
        const bool coversTarget =
            scaled.width() >= target.width() && scaled.height() >= target.height();
        if ((coversTarget || denominator == 1) && pixelCount(scaled) <= protocol::kMaxPicturePixels)
            return denominator;
        if (coversTarget)
            break;
    }
    for (int denominator : {1, 2, 4, 8}) {
        if (pixelCount(jpegScaledSize(orientedSize, denominator)) <= protocol::kMaxPicturePixels)
            return denominator;
    }
    return std::nullopt;
}

} // namespace kavelora::decoder
