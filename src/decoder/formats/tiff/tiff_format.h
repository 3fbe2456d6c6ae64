// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/picture_format.h"

namespace kavelora::decoder {

// TIFF: plain strips by its own reader, reduced; the rest by Qt's.
extern const PictureFormat kTiffFormat;

} // namespace kavelora::decoder
