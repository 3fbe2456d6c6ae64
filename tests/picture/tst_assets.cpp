// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// Checks the byte layout and the content of the built-in assets
// (kavelora.ico and splash.bmp) as they are stored in the source tree.
#include "test_files.h"

#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QRect>
#include <QtTest>

#include <array>
#include <cstdint>

#ifndef KAVELORA_ASSETS_DIR
#error "KAVELORA_ASSETS_DIR must name the folder holding the assets"
#endif

namespace kavelora::tests {

namespace {

constexpr int IconSide = 32;
constexpr qsizetype IconImageOffset = 22;
constexpr qsizetype IconPaletteOffset = IconImageOffset + 40;
constexpr qsizetype IconXorOffset = IconPaletteOffset + 16 * 4;
constexpr qsizetype IconXorRowBytes = IconSide / 2;
constexpr qsizetype IconAndOffset = IconXorOffset + IconXorRowBytes * IconSide;
constexpr qsizetype IconAndRowBytes = IconSide / 8;

constexpr int SplashWidth = 392;
constexpr int SplashHeight = 515;

const std::array<QRgb, 16> StandardPalette = {
    0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080, 0xFF008080, 0xFFC0C0C0,
    0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00, 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF,
};

QString assetPath(const QString& name)
{
    return QDir(QStringLiteral(KAVELORA_ASSETS_DIR)).filePath(name);
}

std::uint8_t byteAt(const QByteArray& data, qsizetype offset)
{
    return static_cast<std::uint8_t>(data.at(offset));
}

// Little-endian unsigned field of 1, 2 or 4 bytes.
quint32 fieldAt(const QByteArray& data, qsizetype offset, int width)
{
    quint32 value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | byteAt(data, offset + i);
    return value;
}

bool isWhite(QRgb rgb)
{
    return qRed(rgb) == 255 && qGreen(rgb) == 255 && qBlue(rgb) == 255;
}

// Clearly inked rather than a faint anti-aliasing fringe.
bool isInked(QRgb rgb)
{
    return 255 - qMin(qRed(rgb), qMin(qGreen(rgb), qBlue(rgb))) > 64;
}

int countInked(const QImage& image, const QRect& area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (isInked(image.pixel(x, y)))
                ++count;
        }
    }
    return count;
}

int countDark(const QImage& image, const QRect& area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (qGray(image.pixel(x, y)) < 80)
                ++count;
        }
    }
    return count;
}

} // namespace

class TestAssets : public QObject
{
    Q_OBJECT

private:
    QByteArray m_icon;
    QByteArray m_splash;

    // Icon rows are stored bottom-up; x and y here count from the top-left.
    int iconColourIndex(int x, int y) const
    {
        const qsizetype row = IconSide - 1 - y;
        const std::uint8_t packed = byteAt(m_icon, IconXorOffset + row * IconXorRowBytes + x / 2);
        return x % 2 == 0 ? packed >> 4 : packed & 0x0f;
    }

    bool iconTransparent(int x, int y) const
    {
        const qsizetype row = IconSide - 1 - y;
        const std::uint8_t bits = byteAt(m_icon, IconAndOffset + row * IconAndRowBytes + x / 8);
        return (bits & (0x80u >> (x % 8))) != 0;
    }

    QRgb iconPaletteColour(int index) const
    {
        const qsizetype at = IconPaletteOffset + index * 4;
        return qRgb(byteAt(m_icon, at + 2), byteAt(m_icon, at + 1), byteAt(m_icon, at));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_icon = readFile(assetPath(QStringLiteral("kavelora.ico")));
        m_splash = readFile(assetPath(QStringLiteral("splash.bmp")));
        QVERIFY2(!m_icon.isEmpty(), "kavelora.ico is missing or empty");
        QVERIFY2(!m_splash.isEmpty(), "splash.bmp is missing or empty");
    }

    void fileSizes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("size");
        QTest::newRow("icon") << QStringLiteral("kavelora.ico") << qint64{766};
        QTest::newRow("splash") << QStringLiteral("splash.bmp") << qint64{605694};
    }

    void fileSizes()
    {
        QFETCH(QString, name);
        QFETCH(qint64, size);
        QCOMPARE(QFileInfo(assetPath(name)).size(), size);
    }

    void iconHeader_data()
    {
        QTest::addColumn<qsizetype>("offset");
        QTest::addColumn<int>("width");
        QTest::addColumn<quint32>("expected");

        const auto row = [](const char* name, qsizetype offset, int width, quint32 expected) {
            QTest::newRow(name) << offset << width << expected;
        };
        row("reserved", 0, 2, 0);
        row("type", 2, 2, 1);
        row("count", 4, 2, 1);
        row("entry width", 6, 1, 32);
        row("entry height", 7, 1, 32);
        row("entry colour count", 8, 1, 16);
        row("entry reserved", 9, 1, 0);
        row("entry planes", 10, 2, 1);
        row("entry bit count", 12, 2, 4);
        row("entry bytes in resource", 14, 4, 744);
        row("entry image offset", 18, 4, 22);
        row("biSize", 22, 4, 40);
        row("biWidth", 26, 4, 32);
        row("biHeight (colour + mask)", 30, 4, 64);
        row("biPlanes", 34, 2, 1);
        row("biBitCount", 36, 2, 4);
        row("biCompression", 38, 4, 0);
        row("biSizeImage", 42, 4, 640);
        row("biXPelsPerMeter", 46, 4, 0);
        row("biYPelsPerMeter", 50, 4, 0);
        row("biClrUsed", 54, 4, 0);
        row("biClrImportant", 58, 4, 0);
    }

    void iconHeader()
    {
        QFETCH(qsizetype, offset);
        QFETCH(int, width);
        QFETCH(quint32, expected);
        QVERIFY(offset + width <= m_icon.size());
        QCOMPARE(fieldAt(m_icon, offset, width), expected);
    }

    void iconResourceFillsFile()
    {
        const quint32 bytesInResource = fieldAt(m_icon, 14, 4);
        const quint32 imageOffset = fieldAt(m_icon, 18, 4);
        QCOMPARE(qsizetype{imageOffset} + qsizetype{bytesInResource}, m_icon.size());
        QCOMPARE(m_icon.size(), IconAndOffset + IconAndRowBytes * IconSide);
    }

    void iconPalette_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QRgb>("colour");
        for (int i = 0; i < static_cast<int>(StandardPalette.size()); ++i)
            QTest::addRow("colour %d", i) << i << StandardPalette[static_cast<std::size_t>(i)];
    }

    void iconPalette()
    {
        QFETCH(int, index);
        QFETCH(QRgb, colour);
        QCOMPARE(iconPaletteColour(index), colour);
        QCOMPARE(byteAt(m_icon, IconPaletteOffset + index * 4 + 3), std::uint8_t{0});
    }

    void iconMaskAndColours()
    {
        int opaque = 0;
        for (int y = 0; y < IconSide; ++y) {
            for (int x = 0; x < IconSide; ++x) {
                if (iconTransparent(x, y))
                    QCOMPARE(iconColourIndex(x, y), 0);
                else
                    ++opaque;
            }
        }
        // A round face covers most of the square, but not all of it.
        QVERIFY2(opaque > 500 && opaque < 900, qPrintable(QString::number(opaque)));

        for (const auto& [x, y] :
             {std::pair{0, 0}, std::pair{31, 0}, std::pair{0, 31}, std::pair{31, 31}})
            QVERIFY2(iconTransparent(x, y),
                     qPrintable(QStringLiteral("corner %1,%2").arg(x).arg(y)));
        for (int y = 14; y <= 17; ++y) {
            for (int x = 14; x <= 17; ++x)
                QVERIFY2(!iconTransparent(x, y),
                         qPrintable(QStringLiteral("centre %1,%2").arg(x).arg(y)));
        }
        QCOMPARE(iconPaletteColour(iconColourIndex(16, 16)), qRgb(0xFF, 0xFF, 0x00));
    }

    // The centre column runs from forehead to chin: clear of dark pixels
    // above the middle, crossed by the mouth below it. A face stored with its
    // rows in the wrong order would frown instead.
    void iconFaceIsUpright()
    {
        const int x = IconSide / 2;
        const auto darkAt = [this, x](int y) {
            return !iconTransparent(x, y) && qGray(iconPaletteColour(iconColourIndex(x, y))) < 64;
        };
        int top = 0;
        while (iconTransparent(x, top) || darkAt(top))
            ++top;
        int bottom = IconSide - 1;
        while (iconTransparent(x, bottom) || darkAt(bottom))
            --bottom;
        QVERIFY(top < IconSide / 2 && bottom > IconSide / 2);

        int darkAbove = 0;
        int darkBelow = 0;
        for (int y = top; y <= bottom; ++y) {
            if (darkAt(y))
                ++(y < IconSide / 2 ? darkAbove : darkBelow);
        }
        QCOMPARE(darkAbove, 0);
        QVERIFY(darkBelow > 0);
    }

    void iconDecodes()
    {
        QImageReader reader(assetPath(QStringLiteral("kavelora.ico")), "ico");
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.size(), QSize(IconSide, IconSide));
        QVERIFY(image.hasAlphaChannel());
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(16, 16)), 255);

        // The decoder's view must agree with the raw bits pixel for pixel,
        // which pins down row order and nibble order.
        for (int y = 0; y < IconSide; ++y) {
            for (int x = 0; x < IconSide; ++x) {
                const QRgb decoded = image.pixel(x, y);
                if (iconTransparent(x, y)) {
                    QCOMPARE(qAlpha(decoded), 0);
                } else {
                    QCOMPARE(qAlpha(decoded), 255);
                    QCOMPARE(decoded, iconPaletteColour(iconColourIndex(x, y)));
                }
            }
        }
    }

    void splashHeader_data()
    {
        QTest::addColumn<qsizetype>("offset");
        QTest::addColumn<int>("width");
        QTest::addColumn<quint32>("expected");

        const auto row = [](const char* name, qsizetype offset, int width, quint32 expected) {
            QTest::newRow(name) << offset << width << expected;
        };
        row("signature B", 0, 1, 'B');
        row("signature M", 1, 1, 'M');
        row("file size", 2, 4, 605694);
        row("reserved 1", 6, 2, 0);
        row("reserved 2", 8, 2, 0);
        row("pixel offset", 10, 4, 54);
        row("biSize", 14, 4, 40);
        row("biWidth", 18, 4, 392);
        row("biHeight (bottom-up)", 22, 4, 515);
        row("biPlanes", 26, 2, 1);
        row("biBitCount", 28, 2, 24);
        row("biCompression", 30, 4, 0);
        row("biSizeImage", 34, 4, 605640);
        row("biXPelsPerMeter", 38, 4, 3780);
        row("biYPelsPerMeter", 42, 4, 3780);
        row("biClrUsed", 46, 4, 0);
        row("biClrImportant", 50, 4, 0);
    }

    void splashHeader()
    {
        QFETCH(qsizetype, offset);
        QFETCH(int, width);
        QFETCH(quint32, expected);
        QVERIFY(offset + width <= m_splash.size());
        QCOMPARE(fieldAt(m_splash, offset, width), expected);
    }

    void splashRowLayout()
    {
        const qsizetype pixelOffset = fieldAt(m_splash, 10, 4);
        const auto width = static_cast<qint32>(fieldAt(m_splash, 18, 4));
        const auto height = static_cast<qint32>(fieldAt(m_splash, 22, 4));
        const qsizetype stride = (qsizetype{width} * 3 + 3) / 4 * 4;
        QCOMPARE(stride, qsizetype{1176});
        QCOMPARE(pixelOffset + stride * height, m_splash.size());
        QCOMPARE(stride * height, qsizetype{fieldAt(m_splash, 34, 4)});

        QImageReader reader(assetPath(QStringLiteral("splash.bmp")), "bmp");
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.size(), QSize(width, height));

        // Rows are stored bottom-up as B, G, R triples.
        for (int y = 0; y < height; ++y) {
            const qsizetype rowStart = pixelOffset + (height - 1 - y) * stride;
            for (int x = 0; x < width; ++x) {
                const qsizetype at = rowStart + x * 3;
                const QRgb raw =
                    qRgb(byteAt(m_splash, at + 2), byteAt(m_splash, at + 1), byteAt(m_splash, at));
                if (image.pixel(x, y) != raw)
                    QFAIL(qPrintable(
                        QStringLiteral("pixel %1,%2 differs from the raw row data").arg(x).arg(y)));
            }
        }
    }

    void splashContent()
    {
        const QImage image(assetPath(QStringLiteral("splash.bmp")), "bmp");
        QCOMPARE(image.size(), QSize(SplashWidth, SplashHeight));

        const int cornerSide = 6;
        const std::array corners = {
            QRect(0, 0, cornerSide, cornerSide),
            QRect(SplashWidth - cornerSide, 0, cornerSide, cornerSide),
            QRect(0, SplashHeight - cornerSide, cornerSide, cornerSide),
            QRect(SplashWidth - cornerSide, SplashHeight - cornerSide, cornerSide, cornerSide),
        };
        for (const QRect& corner : corners) {
            for (int y = corner.top(); y <= corner.bottom(); ++y) {
                for (int x = corner.left(); x <= corner.right(); ++x)
                    QVERIFY2(isWhite(image.pixel(x, y)),
                             qPrintable(QStringLiteral("corner pixel %1,%2").arg(x).arg(y)));
            }
        }

        // The middle third in each direction holds the main picture.
        const QRect centre(SplashWidth / 3, SplashHeight / 3, SplashWidth / 3, SplashHeight / 3);
        const int centreInked = countInked(image, centre);
        QVERIFY2(centreInked > centre.width() * centre.height() / 3,
                 qPrintable(QString::number(centreInked)));

        const int halfW = SplashWidth / 2;
        const int halfH = SplashHeight / 2;
        const std::array quadrants = {
            QRect(0, 0, halfW, halfH),
            QRect(halfW, 0, SplashWidth - halfW, halfH),
            QRect(0, halfH, halfW, SplashHeight - halfH),
            QRect(halfW, halfH, SplashWidth - halfW, SplashHeight - halfH),
        };
        for (const QRect& quadrant : quadrants) {
            const int inked = countInked(image, quadrant);
            QVERIFY2(inked > 500, qPrintable(QStringLiteral("quadrant at %1,%2 has %3 inked pixels")
                                                 .arg(quadrant.left())
                                                 .arg(quadrant.top())
                                                 .arg(inked)));
        }

        // The greeting sits at the top, so an upside-down picture (rows stored
        // in the wrong order) shows up as dark ink moving to the bottom.
        const int third = SplashHeight / 3;
        const int topDark = countDark(image, QRect(0, 0, SplashWidth, third));
        const int bottomDark = countDark(image, QRect(0, SplashHeight - third, SplashWidth, third));
        QVERIFY2(topDark > 2 * bottomDark,
                 qPrintable(QStringLiteral("%1 vs %2").arg(topDark).arg(bottomDark)));

        // A plain white background: most of the picture is paper, not paint.
        const int allInked = countInked(image, image.rect());
        QVERIFY(allInked < SplashWidth * SplashHeight / 2);
    }
};

} // namespace kavelora::tests

QTEST_GUILESS_MAIN(kavelora::tests::TestAssets)
#include "tst_assets.moc"
