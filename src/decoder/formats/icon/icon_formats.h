// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/picture_format.h"

namespace kavelora::decoder {

// Windows icons and cursors, which Qt's reader reads (no read of their own).
extern const PictureFormat kIcoFormat;
extern const PictureFormat kCurFormat;

} // namespace kavelora::decoder
