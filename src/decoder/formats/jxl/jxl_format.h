// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/picture_format.h"

namespace kavelora::decoder {

// JPEG XL, through libjxl.
extern const PictureFormat kJxlFormat;

} // namespace kavelora::decoder
