// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "heif_writer.h"

#include <algorithm>
#include <cstring>

namespace kavelora::tests {
namespace {

// The part of picture at origin, tileSize large; past its right and bottom edges the last
// column and row repeat.
QImage paddedTile(const QImage& picture, QPoint origin, QSize tileSize)
{
    QImage tile(tileSize, picture.format());
    const int pixelBytes = picture.depth() / 8;
    const int inside = std::min(tileSize.width(), picture.width() - origin.x());
    for (int y = 0; y < tileSize.height(); ++y) {
        const uchar* from = picture.constScanLine(std::min(origin.y() + y, picture.height() - 1)) +
                            origin.x() * pixelBytes;
        uchar* to = tile.scanLine(y);
        std::memcpy(to, from, static_cast<size_t>(inside * pixelBytes));
        for (int x = inside; x < tileSize.width(); ++x)
            std::memcpy(to + x * pixelBytes, from + (inside - 1) * pixelBytes,
                        static_cast<size_t>(pixelBytes));
    }
    return tile;
}

} // namespace

HeifFile gridOfTiles(const QImage& picture, QSize tileSize, const HevcOptions& options)
{
    // Whole bytes per pixel let rows be copied as they stand.
    const QImage source =
        picture.depth() >= 8 ? picture : picture.convertToFormat(QImage::Format_ARGB32);
    const int columns = (source.width() + tileSize.width() - 1) / tileSize.width();
    const int rows = (source.height() + tileSize.height() - 1) / tileSize.height();
    HeifFile file;
    HeifItem grid = heifItem(1, "grid", gridData(rows, columns, source.size()));
    grid.inIdat = true;
    grid.properties = {heif_property::ispe(source.size())};
    file.items.push_back(grid);
    HeifReference tiles{"dimg", 1, {}};
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const QPoint origin(column * tileSize.width(), row * tileSize.height());
            const auto itemId = static_cast<quint32>(file.items.size() + 1);
            HeifItem tile =
                codedItem(itemId, encodeHevc(paddedTile(source, origin, tileSize), options));
            tile.hidden = true;
            file.items.push_back(tile);
            tiles.to.append(itemId);
        }
    }
    file.references.push_back(tiles);
    return file;
}

} // namespace kavelora::tests
