// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/formats/png/png_chunks.h"

#include <QtGlobal>

#include <cstddef>
#include <functional>

namespace kavelora::decoder {

// Inflates the PNG image data that chunks is at (the first IDAT chunk, its header read) and
// hands takeRow each of rowCount rows of rowBytes (filter byte included) in order, together
// with the row before it (zeros for the first). takeRow may change both rows in place and
// returns false to stop. Inflating runs in a RowRing, a few bands of rows ahead of takeRow.
// After the last row the zlib stream must end with its checksum and the chunks run whole,
// CRCs right, to IEND, as Qt's reader requires. Returns the first fault met (RowRefused when
// takeRow stopped); None once every row was taken and the data checked.
PngFault inflatePngRows(PngChunkWalker& chunks, std::size_t rowBytes, int rowCount,
                        const std::function<bool(uchar* row, uchar* previous)>& takeRow);

} // namespace kavelora::decoder
