// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/picture_format.h"

namespace kavelora::decoder {

// AVIF, through libavif.
extern const PictureFormat kAvifFormat;

} // namespace kavelora::decoder
