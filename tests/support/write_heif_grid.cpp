// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
//
// Writes a picture as a grid HEIC the way phones do, its tiles coded by libx265 (4:2:0, 8 bits,
// BT.601 limited range): for the benchmark's grid rows.
//
//   write_heif_grid PICTURE TILE_WIDTH TILE_HEIGHT OUTPUT

#include "heif_writer.h"
#include "test_files.h"

#include <QCoreApplication>
#include <QImage>

#include <cstdio>
#include <stdexcept>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    bool widthRead = false;
    bool heightRead = false;
    const int tileWidth = arguments.value(2).toInt(&widthRead);
    const int tileHeight = arguments.value(3).toInt(&heightRead);
    if (arguments.size() != 5 || !widthRead || !heightRead || tileWidth < 16 || tileHeight < 16) {
        std::fputs("usage: write_heif_grid PICTURE TILE_WIDTH TILE_HEIGHT OUTPUT\n", stderr);
        return 64;
    }
    const QImage picture(arguments.at(1));
    if (picture.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(arguments.at(1)));
        return 1;
    }
    try {
        kavelora::tests::HevcOptions options;
        // About what phones write: a moderate quality, and rows decodable in parallel.
        options.quality = 24;
        options.wavefront = true;
        kavelora::tests::HeifFile file =
            kavelora::tests::gridOfTiles(picture, QSize(tileWidth, tileHeight), options);
        file.items.front().properties.push_back(
            kavelora::tests::heif_property::colrNclx(1, 13, 6, false));
        if (!kavelora::tests::writeFile(arguments.at(4), kavelora::tests::writeHeif(file))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(arguments.at(4)));
            return 1;
        }
    } catch (const std::runtime_error& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
    return 0;
}
