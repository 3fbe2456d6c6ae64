// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <cstddef>
#include <functional>

class QIODevice;

namespace kavelora::decoder {

// True when the four bytes at type are letters, as a chunk's type must be.
bool isPngChunkType(const char* type);

enum class PngDataFault { None, ReadFailed, WrongCrc, Corrupt, TooShort, RowRefused };

// Inflates the PNG image data read from device, positioned at the first IDAT chunk's length,
// and hands takeRow each of rowCount rows of rowBytes (filter byte included) in order,
// together with the row before it (zeros for the first). takeRow may change both rows in
// place and returns false to stop. Inflating runs on a thread of its own, one band of rows
// ahead of takeRow on the calling thread. After the last row the zlib stream must end with
// its checksum and the chunks run whole, CRCs right, to IEND, as Qt's reader requires.
// Returns the first fault met; None once every row was taken and the data checked.
PngDataFault inflatePngRows(QIODevice& device, std::size_t rowBytes, int rowCount,
                            const std::function<bool(uchar* row, uchar* previous)>& takeRow);

} // namespace kavelora::decoder
