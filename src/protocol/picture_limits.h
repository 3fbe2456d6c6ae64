// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

namespace kavelora::protocol {

// Every bound on what reading a picture may cost, in one place.

// The largest picture file read, in bytes; larger files raise ErrorNumber::OutOfMemory.
inline constexpr qint64 kMaxPictureFileBytes = 256LL * 1024 * 1024;

// How much of a file is read, in bytes, to tell its format and check its headers.
inline constexpr qint64 kPictureHeadBytes = 64 * 1024;

// The most pixels a decoded picture may have; larger pictures raise ErrorNumber::OutOfMemory.
// Fuzz builds (FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION, as set for fuzzing everywhere) cap
// far lower: a file of a few bytes may rightly claim a picture at the cap, and under the
// sanitizers clearing and reading 64 megapixels takes longer than a hang is let run. Every
// bound below that is a cost per pixel follows the cap.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
inline constexpr qint64 kMaxPicturePixels = 1024LL * 1024;
#else
inline constexpr qint64 kMaxPicturePixels = 64LL * 1024 * 1024;
#endif

// A picture at the pixel cap, four bytes a pixel, in bytes.
inline constexpr qint64 kMaxPictureBytes = 4 * kMaxPicturePixels;

// The most memory, in MiB, one image decode through Qt may allocate.
inline constexpr int kDecodeAllocationLimitMiB = static_cast<int>(kMaxPictureBytes >> 20);

// The most memory, in bytes, one HEIF, AVIF or JPEG XL decode may take, the codec's planes and
// ours together; a larger size claim raises ErrorNumber::OutOfMemory before decoding.
inline constexpr qint64 kMaxCodecDecodeBytes = 4 * kMaxPictureBytes;

// The largest one buffer of samples a HEIF, AVIF or JPEG XL decode may ask for, in bytes.
inline constexpr qint64 kMaxCodecSampleBufferBytes = kMaxPictureBytes;

// The widest or tallest picture the codec libraries are let decode, in pixels, and the widest
// or tallest grid or overlay a HEIF may compose; the fuzz builds keep each such allocation
// under the fuzzer's limit with it.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
inline constexpr int kMaxCodecSidePixels = 4096;
#else
inline constexpr int kMaxCodecSidePixels = 65535;
#endif

inline constexpr qint64 kMaxJpegCoefficientBytes = kMaxPictureBytes;

// Room for the buffers the checks let through plus tables and rows: a file the checks misread
// is refused by libjpeg itself instead of taking gigabytes.
inline constexpr long kLibjpegMemoryLimitBytes = kMaxJpegCoefficientBytes + 32L * 1024 * 1024;

} // namespace kavelora::protocol
