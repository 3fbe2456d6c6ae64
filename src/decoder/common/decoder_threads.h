// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

namespace kavelora::decoder {

// The threads a codec library may decode one picture on. The helper runs on machines of two
// cores and decodes one picture at a time; more threads would only contend for them.
inline constexpr int kDecoderThreads = 2;

} // namespace kavelora::decoder
