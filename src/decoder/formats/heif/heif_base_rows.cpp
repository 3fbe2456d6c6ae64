// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/heif/heif_base_rows.h"

#include "decoder/common/codec_decode_fits.h"
#include "decoder/common/decoder_threads.h"
#include "decoder/formats/heif/heif_boxes.h"
#include "decoder/formats/heif/hevc_decoder.h"
#include "platform/runtime_error.h"

#include <algorithm>
#include <future>

namespace kavelora::decoder::heif {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

int pixelBytes(const RowConversion& conversion)
{
    return conversion.gray ? 1 : 4;
}

void decodeCodedRows(const QByteArray& file, const ImageNode& node, const CodedImage& coded,
                     QRect crop, const RowConversion& conversion, const RowSink& sink)
{
    HevcDecoder decoder(true);
    const YCbCrPlanes planes = decoder.decode(file, coded, node.size);
    const YCbCrRows rows(planes, conversion.codingOf(planes));
    std::vector<quint32> row(static_cast<std::size_t>(crop.width()));
    std::vector<quint16> scratch;
    auto* out = reinterpret_cast<uchar*>(row.data());
    for (int y = crop.top(); y <= crop.bottom(); ++y) {
        conversion.convert(rows, y, crop.left(), crop.width(), out, scratch);
        sink(out);
    }
}

// A grid's tiles checked against each other and the grid's size.
struct GridLayout
{
    QSize tileSize;
    std::vector<const CodedImage*> tiles;
};

GridLayout layoutOf(const ImagePlan& plan, const GridImage& grid)
{
    if (grid.rows <= 0 || grid.columns <= 0 || grid.outputSize.isEmpty() ||
        grid.tiles.size() !=
            static_cast<std::size_t>(grid.rows) * static_cast<std::size_t>(grid.columns))
        refuse();
    GridLayout layout;
    for (const int index : grid.tiles) {
        if (index < 0 || static_cast<std::size_t>(index) >= plan.nodes.size())
            refuse();
        const ImageNode& tile = plan.nodes[static_cast<std::size_t>(index)];
        const auto* coded = std::get_if<CodedImage>(&tile.content);
        if (!coded || tile.size.isEmpty() ||
            (!layout.tiles.empty() && tile.size != layout.tileSize))
            refuse();
        layout.tileSize = tile.size;
        layout.tiles.push_back(coded);
    }
    if (qint64{layout.tileSize.width()} * grid.columns < grid.outputSize.width() ||
        qint64{layout.tileSize.height()} * grid.rows < grid.outputSize.height())
        refuse();
    // Two decoders at once, each with its tile.
    if (!codecDecodeFits(layout.tileSize.width(),
                         qint64{layout.tileSize.height()} * kDecoderThreads, 16, false))
        throw RuntimeError(ErrorNumber::OutOfMemory);
    return layout;
}

// Decodes the tiles of one band row into band, rows of crop's width, on two threads.
class BandDecoder
{
public:
    BandDecoder(const QByteArray& file, const GridImage& grid, const GridLayout& layout, QRect crop,
                const RowConversion& conversion)
        : m_file(file)
        , m_grid(grid)
        , m_layout(layout)
        , m_crop(crop)
        , m_conversion(conversion)
    {}

    void decode(int bandRow, uchar* band) const
    {
        const int tileWidth = m_layout.tileSize.width();
        const int first = m_crop.left() / tileWidth;
        const int last = m_crop.right() / tileWidth;
        auto other =
            std::async(std::launch::async, [&] { decodeColumns(bandRow, first + 1, last, band); });
        decodeColumns(bandRow, first, last, band);
        other.get();
    }

private:
    // Every other tile column from first to last.
    void decodeColumns(int bandRow, int first, int last, uchar* band) const
    {
        if (first > last)
            return;
        HevcDecoder decoder(false);
        std::vector<quint16> scratch;
        const QSize tile = m_layout.tileSize;
        const int top = std::max(m_crop.top(), bandRow * tile.height());
        const int bottom = std::min(m_crop.bottom() + 1, (bandRow + 1) * tile.height());
        const qsizetype rowBytes = qsizetype{m_crop.width()} * pixelBytes(m_conversion);
        for (int column = first; column <= last; column += kDecoderThreads) {
            const std::size_t index =
                static_cast<std::size_t>(bandRow) * static_cast<std::size_t>(m_grid.columns) +
                static_cast<std::size_t>(column);
            const YCbCrPlanes planes = decoder.decode(m_file, *m_layout.tiles[index], tile);
            const YCbCrRows rows(planes, m_conversion.codingOf(planes));
            const int left = std::max(m_crop.left(), column * tile.width());
            const int right = std::min(m_crop.right() + 1, (column + 1) * tile.width());
            for (int y = top; y < bottom; ++y) {
                uchar* out = band + (y - top) * rowBytes +
                             qsizetype{left - m_crop.left()} * pixelBytes(m_conversion);
                m_conversion.convert(rows, y - bandRow * tile.height(),
                                     left - column * tile.width(), right - left, out, scratch);
            }
        }
    }

    const QByteArray& m_file;
    const GridImage& m_grid;
    const GridLayout& m_layout;
    QRect m_crop;
    const RowConversion& m_conversion;
};

void decodeGridRows(const QByteArray& file, const ImagePlan& plan, const GridImage& grid,
                    QRect crop, const RowConversion& conversion, const RowSink& sink)
{
    const GridLayout layout = layoutOf(plan, grid);
    const int tileHeight = layout.tileSize.height();
    const BandDecoder bands(file, grid, layout, crop, conversion);
    const qsizetype rowBytes = qsizetype{crop.width()} * pixelBytes(conversion);
    // One band: a second, for decoding the next band while this one is reduced, would cost
    // as much memory again (57 MB more for a 48 MP picture) to save the reducer's short turn.
    std::vector<quint32> buffer(static_cast<std::size_t>((rowBytes * tileHeight + 3) / 4));
    auto* band = reinterpret_cast<uchar*>(buffer.data());
    for (int bandRow = crop.top() / tileHeight; bandRow <= crop.bottom() / tileHeight; ++bandRow) {
        bands.decode(bandRow, band);
        const int top = std::max(crop.top(), bandRow * tileHeight);
        const int bottom = std::min(crop.bottom() + 1, (bandRow + 1) * tileHeight);
        for (int y = top; y < bottom; ++y)
            sink(band + (y - top) * rowBytes);
    }
}

} // namespace

void RowConversion::convert(const YCbCrRows& rows, int y, int x, int width, uchar* out,
                            std::vector<quint16>& scratch) const
{
    if (gray) {
        rows.toGray(y, x, width, out);
        return;
    }
    auto* words = reinterpret_cast<QRgb*>(out);
    if (!srgb) {
        rows.toWords(y, x, width, words);
        return;
    }
    scratch.resize(static_cast<std::size_t>(width) * 3);
    if (bitsPerSample > 8)
        rows.toSamples16(y, x, width, scratch.data());
    else
        rows.toSamples8(y, x, width, reinterpret_cast<uchar*>(scratch.data()));
    srgb->convert(reinterpret_cast<const uchar*>(scratch.data()), words, width);
}

void decodeBaseRows(const QByteArray& file, const ImagePlan& plan, const ImageNode& node,
                    QRect crop, const RowConversion& conversion, const RowSink& sink)
{
    if (crop.isEmpty())
        refuse();
    if (const auto* coded = std::get_if<CodedImage>(&node.content)) {
        if (!QRect(QPoint(0, 0), node.size).contains(crop))
            refuse();
        decodeCodedRows(file, node, *coded, crop, conversion, sink);
    } else if (const auto* grid = std::get_if<GridImage>(&node.content)) {
        if (!QRect(QPoint(0, 0), grid->outputSize).contains(crop))
            refuse();
        decodeGridRows(file, plan, *grid, crop, conversion, sink);
    } else {
        refuse();
    }
}

} // namespace kavelora::decoder::heif
