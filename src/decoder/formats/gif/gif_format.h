// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/picture_format.h"

namespace kavelora::decoder {

// GIF: still pictures by its own reader, reduced; animations by Qt's.
extern const PictureFormat kGifFormat;

} // namespace kavelora::decoder
