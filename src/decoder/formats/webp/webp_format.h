// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/picture_format.h"

namespace kavelora::decoder {

// WebP: stills scaled by libwebp; animations and pictures with a profile by Qt's reader.
extern const PictureFormat kWebpFormat;

} // namespace kavelora::decoder
