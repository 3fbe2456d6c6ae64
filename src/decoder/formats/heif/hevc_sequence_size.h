// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>
#include <QSize>

#include <optional>

namespace kavelora::decoder::heif {

// Whether unit, an HEVC NAL unit with its two-byte header, is a sequence parameter set.
bool isSequenceParameterSet(QByteArrayView unit);

// The coded picture size a sequence parameter set declares (pic_width and pic_height in luma
// samples), read before libde265 allocates pictures that large; nullopt when the unit is too
// short or broken to say.
std::optional<QSize> sequencePictureSize(QByteArrayView unit);

} // namespace kavelora::decoder::heif
