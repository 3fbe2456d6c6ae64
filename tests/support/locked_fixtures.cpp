// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "locked_fixtures.h"

#include "byte_fields.h"
#include "locked_child.h"
#include "picture_fixtures.h"

#include <QColorSpace>
#include <QImage>

namespace kavelora::tests {

using namespace Qt::StringLiterals;

namespace {

// A 24-bit uncompressed TGA stored top row first, which Qt reads but does not write.
QByteArray tgaFile(const QImage& image)
{
    QByteArray file(18, '\0');
    file[2] = 2;
    put16le(file, 12, static_cast<quint32>(image.width()));
    put16le(file, 14, static_cast<quint32>(image.height()));
    file[16] = 24;
    file[17] = 0x20;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb colour = image.pixel(x, y);
            file.append(static_cast<char>(qBlue(colour)));
            file.append(static_cast<char>(qGreen(colour)));
            file.append(static_cast<char>(qRed(colour)));
        }
    }
    // No extension or developer area, and the signature that makes it a TGA 2.0 file.
    file.append(QByteArray(8, '\0'));
    file.append("TRUEVISION-XFILE.", 18);
    return file;
}

// An icon whose one image is stored as PNG, as most large icons are.
QByteArray iconWithPngInside(const QImage& image)
{
    const QByteArray png = encoded(image, "png");
    QByteArray file = le16(0) + le16(1) + le16(1);
    file += QByteArray(1, static_cast<char>(image.width() % 256));
    file += QByteArray(1, static_cast<char>(image.height() % 256));
    file += le16(0) + le16(1) + le16(32) + le32(static_cast<quint32>(png.size())) + le32(22);
    return file + png;
}

} // namespace

// The fixtures by name; made in a child so that this process loads no image plugin.
QStringList fixtureNames()
{
    return {QStringLiteral("png"),       QStringLiteral("16-bit png"), QStringLiteral("p3 png"),
            QStringLiteral("jpeg"),      QStringLiteral("bmp"),        QStringLiteral("gif"),
            QStringLiteral("webp"),      QStringLiteral("tiff"),       QStringLiteral("ico"),
            QStringLiteral("pbm"),       QStringLiteral("pgm"),        QStringLiteral("ppm"),
            QStringLiteral("xbm"),       QStringLiteral("xpm"),        QStringLiteral("tga"),
            QStringLiteral("png in ico")};
}

QByteArray makeFixture(const QString& name)
{
    const QImage halves = twoHalves(kPictureSize, kLeft, kRight);
    if (name == u"16-bit png")
        return encoded(halves.convertToFormat(QImage::Format_RGBA64), "png");
    if (name == u"p3 png") {
        QImage wideGamut = halves;
        wideGamut.setColorSpace(QColorSpace::DisplayP3);
        return encoded(wideGamut, "png");
    }
    if (name == u"gif") {
        QByteArray indices;
        for (int y = 0; y < kPictureSize.height(); ++y) {
            indices.append(QByteArray(kPictureSize.width() / 2, '\0'));
            indices.append(QByteArray(kPictureSize.width() / 2, '\1'));
        }
        return gifFile(kPictureSize, {kLeft, kRight}, {indices});
    }
    if (name == u"ico")
        return encoded(halves.scaled(256, 192), "ico");
    if (name == u"png in ico")
        return iconWithPngInside(halves.scaled(256, 192));
    if (name == u"tga")
        return tgaFile(halves);
    return encoded(halves, name.toLatin1().constData());
}

const QList<LibraryFixture> kLibraryFixtures{
    {u"heif"_s, u"heif-enc"_s, {u"-q"_s, u"90"_s, u"-o"_s}},
    {u"avif"_s, u"avifenc"_s, {u"-l"_s, u"-o"_s}},
    {u"jxl"_s, u"cjxl"_s, {u"-d"_s, u"0"_s}},
};
} // namespace kavelora::tests
