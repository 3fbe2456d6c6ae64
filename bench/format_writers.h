// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

namespace kavelora::bench {

// Fills row y of width RGB888 pixels.
using RowSource = std::function<void(int y, std::uint8_t* rgb)>;

// A WebP of width x height from rows: lossy at quality 90, or lossless. False on failure.
bool writeWebp(const QString& path, int width, int height, const RowSource& rows, bool lossless);

// An LZW-compressed RGB TIFF with the horizontal predictor, in strips of 16 rows, written row
// by row as a scanner or a raw converter writes it. False on failure.
bool writeTiff(const QString& path, int width, int height, const RowSource& rows);

// A GIF of one frame: the rows dithered to a 6 x 7 x 6 colour cube and LZW-compressed.
bool writeGif(const QString& path, int width, int height, const RowSource& rows);

} // namespace kavelora::bench
