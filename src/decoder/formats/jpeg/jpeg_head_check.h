// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/picture_format.h"

#include <QByteArray>

namespace kavelora::decoder {

// Fails when a JPEG coded in several scans (progressive, or a first scan of fewer components
// than the frame) would buffer more than kMaxJpegCoefficientBytes of coefficients, which it
// holds at full size whatever the scale. Decided by the markers up to the first scan.
HeadCheck jpegCoefficientsFit(const QByteArray& head, qint64 fileSize);

} // namespace kavelora::decoder
