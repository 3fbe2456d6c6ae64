// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/picture_format.h"

namespace kavelora::decoder {

// X bitmaps, read by Qt's reader.
extern const PictureFormat kXbmFormat;

} // namespace kavelora::decoder
