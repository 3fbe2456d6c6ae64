// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/picture_format.h"

namespace kavelora::decoder {

// HEIF with HEVC coded pictures, read by its own parser and decoded by libde265.
extern const PictureFormat kHeifFormat;

} // namespace kavelora::decoder
