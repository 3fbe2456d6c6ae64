// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/picture_format.h"

namespace kavelora::decoder {

// Windows and OS/2 bitmaps: run-length coded ones and headers Qt cannot read by their own
// reader, the rest by Qt's.
extern const PictureFormat kBmpFormat;

} // namespace kavelora::decoder
