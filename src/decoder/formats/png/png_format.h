// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/picture_format.h"

namespace kavelora::decoder {

// PNG: read a row at a time and reduced by its own reader where it can.
extern const PictureFormat kPngFormat;

} // namespace kavelora::decoder
