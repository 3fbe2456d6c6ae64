// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// Writes a grid HEIC as phones write them, from a picture scaled to the size asked: tiles of
// one size coded by x265, the grid item primary, colour described by nclx.
//   make_grid_heic SOURCE WIDTHxHEIGHT TILE_WIDTHxTILE_HEIGHT OUTPUT

#include "heif_writer.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QTransform>

#include <cstdio>
#include <exception>
#include <optional>

namespace {

std::optional<QSize> sizeFrom(const char* text)
{
    const QList<QByteArray> sides = QByteArray(text).split('x');
    bool wide = false;
    bool tall = false;
    const QSize size =
        sides.size() == 2 ? QSize(sides[0].toInt(&wide), sides[1].toInt(&tall)) : QSize();
    if (!wide || !tall || size.isEmpty())
        return std::nullopt;
    return size;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const std::optional<QSize> size = argc == 5 ? sizeFrom(argv[2]) : std::nullopt;
    const std::optional<QSize> tile = argc == 5 ? sizeFrom(argv[3]) : std::nullopt;
    if (!size || !tile) {
        std::fprintf(stderr, "usage: make_grid_heic SOURCE WIDTHxHEIGHT TILExTILE OUTPUT\n");
        return 2;
    }
    QImage picture(QString::fromLocal8Bit(argv[1]));
    if (picture.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    // A portrait size turns the landscape photo, as a phone held upright would take it.
    if ((size->height() > size->width()) != (picture.height() > picture.width()))
        picture = picture.transformed(QTransform().rotate(90));
    picture = picture.scaled(*size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                  .convertToFormat(QImage::Format_RGB32);

    using namespace kavelora::tests;
    HevcOptions options;
    options.fullRange = true;
    try {
        HeifFile file = gridOfTiles(picture, *tile, options);
        file.items.front().properties.push_back(heif_property::colrNclx(1, 13, 6, true));
        QFile output(QString::fromLocal8Bit(argv[4]));
        if (!output.open(QIODevice::WriteOnly) || output.write(writeHeif(file)) < 0) {
            std::fprintf(stderr, "cannot write %s\n", argv[4]);
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "cannot code the tiles: %s\n", error.what());
        return 1;
    }
    return 0;
}
