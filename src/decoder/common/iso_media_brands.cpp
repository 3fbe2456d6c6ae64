// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/common/iso_media_brands.h"

#include <QtEndian>

#include <algorithm>

namespace kavelora::decoder {

bool hasIsoMediaBrand(QByteArrayView head, std::initializer_list<QByteArrayView> brands)
{
    if (head.size() < 16 || head.sliced(4, 4) != "ftyp")
        return false;
    const qsizetype boxEnd =
        std::min<qsizetype>(head.size(), qFromBigEndian<quint32>(head.constData()));
    const auto named = [&](qsizetype at) {
        return std::find(brands.begin(), brands.end(), head.sliced(at, 4)) != brands.end();
    };
    // The major brand, then the compatible ones after the minor version.
    if (named(8))
        return true;
    for (qsizetype at = 16; at + 4 <= boxEnd; at += 4) {
        if (named(at))
            return true;
    }
    return false;
}

} // namespace kavelora::decoder
