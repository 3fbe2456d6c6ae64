// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/picture_format.h"

namespace kavelora::decoder {

// JPEG, decoded by libjpeg at the coarsest scale covering the size asked for.
extern const PictureFormat kJpegFormat;

} // namespace kavelora::decoder
