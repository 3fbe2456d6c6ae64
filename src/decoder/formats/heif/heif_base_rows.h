// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/codec_samples.h"
#include "decoder/formats/heif/heif_image_plan.h"
#include "decoder/formats/heif/ycbcr_rows.h"

#include <QByteArray>
#include <QRect>

#include <functional>
#include <optional>
#include <vector>

namespace kavelora::decoder::heif {

// How decoded planes become the rows handed on.
struct RowConversion
{
    // The coding the file states; nullopt where each stream's own applies.
    std::optional<YCbCrCoding> coding;
    // Turns RGB samples into sRGB words; null where the samples are 8-bit sRGB already.
    const SrgbRows* srgb = nullptr;
    // The samples srgb takes: 8, or 16 scaled to 0..65535.
    int bitsPerSample = 8;
    // The luma alone as 8-bit grey (an alpha plane) instead of colour words.
    bool gray = false;

    // width pixels of row y from column x of rows into out: QRgb words, or grey bytes.
    // scratch is the caller's, for the samples between.
    YCbCrCoding codingOf(const YCbCrPlanes& planes) const
    {
        return coding.value_or(planes.streamCoding);
    }
    void convert(const YCbCrRows& rows, int y, int x, int width, uchar* out,
                 std::vector<quint16>& scratch) const;
};

// Receives the rows of a crop top to bottom, each the crop's width of QRgb words (grey bytes
// when gray); the row is reused after the call.
using RowSink = std::function<void(const uchar* row)>;

// Decodes node, a coded image or a grid of them, and hands the rows of crop (within the
// node's picture) to sink. A grid's tile rows are decoded as bands, the tiles of a band on two
// threads with a decoder each; memory holds one band, never the whole picture. Raises
// RuntimeError: InvalidPicture for broken data or a node of another kind, OutOfMemory past
// the caps.
void decodeBaseRows(const QByteArray& file, const ImagePlan& plan, const ImageNode& node,
                    QRect crop, const RowConversion& conversion, const RowSink& sink);

} // namespace kavelora::decoder::heif
