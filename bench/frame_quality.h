// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QSize>

namespace kavelora::bench {

// The picture reduced to size by exact area averaging: each output pixel is the mean of the
// source area it covers, fractions of pixels weighted by their share. The reference that
// displayed frames are compared with. Returns RGB32.
QImage areaAverage(const QImage& source, QSize size);

// Peak signal-to-noise ratio of frame against reference over the red, green and blue
// channels, in dB; both must have the same size. Infinity for identical pictures.
double psnr(const QImage& frame, const QImage& reference);

} // namespace kavelora::bench
