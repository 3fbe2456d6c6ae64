// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QSize>

#include <optional>

namespace kavelora::decoder {

// size decoded at 1/denominator, each side rounded up as libjpeg rounds it.
QSize jpegScaledSize(QSize size, int denominator);

// The coarsest libjpeg denominator (8, 4, 2 or 1) whose decode of a picture of orientedSize
// covers target both ways within kMaxPicturePixels; where none covers it, the finest within
// the cap. nullopt when even 1/8 is over the cap.
std::optional<int> jpegDenominator(QSize orientedSize, QSize target);

} // namespace kavelora::decoder
