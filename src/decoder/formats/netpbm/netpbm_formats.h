// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/picture_format.h"

namespace kavelora::decoder {

// The portable bitmap, graymap and pixmap, plain or raw, read by Qt's reader.
extern const PictureFormat kPbmFormat;
extern const PictureFormat kPgmFormat;
extern const PictureFormat kPpmFormat;

} // namespace kavelora::decoder
