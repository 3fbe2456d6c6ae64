// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// Crops, rotations and mirrors of a HEIF picture composed into one crop and one orientation,
// compared with the same transforms done one after another on the whole picture by Qt.

#include "decoder/formats/heif/heif_orientation.h"
#include "platform/runtime_error.h"

#include <QTest>

using kavelora::decoder::plainPixels;
using kavelora::decoder::heif::composeTransforms;
using kavelora::decoder::heif::ImageTransform;
using kavelora::decoder::heif::orientedCopy;
using Transforms = std::vector<ImageTransform>;

Q_DECLARE_METATYPE(Transforms)

namespace {

ImageTransform turn(int quarterTurns)
{
    return {ImageTransform::Kind::Rotation, {}, quarterTurns, false};
}

ImageTransform mirror(bool leftRight)
{
    return {ImageTransform::Kind::Mirror, {}, 0, leftRight};
}

ImageTransform crop(QRect kept)
{
    return {ImageTransform::Kind::Crop, kept, 0, false};
}

// Every pixel a colour of its own.
QImage numberedPicture(QSize size)
{
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            picture.setPixel(x, y, qRgb(x, y, 7 * x + y));
    return picture;
}

// The transforms one at a time; Qt's rotate() turns clockwise on the screen.
QImage transformedOneByOne(QImage picture, const Transforms& transforms)
{
    for (const ImageTransform& transform : transforms) {
        switch (transform.kind) {
        case ImageTransform::Kind::Rotation:
            picture = picture.transformed(QTransform().rotate(-90.0 * transform.quarterTurns));
            break;
        case ImageTransform::Kind::Mirror:
            picture = picture.mirrored(transform.leftRight, !transform.leftRight);
            break;
        case ImageTransform::Kind::Crop:
            picture = picture.copy(transform.kept);
            break;
        }
    }
    return picture.convertToFormat(QImage::Format_RGB32);
}

} // namespace

class HeifTransformsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void composedEqualsOneByOne_data()
    {
        QTest::addColumn<QSize>("base");
        QTest::addColumn<Transforms>("transforms");
        QTest::newRow("no transforms") << QSize(9, 6) << Transforms{};
        QTest::newRow("quarter turn") << QSize(9, 6) << Transforms{turn(1)};
        QTest::newRow("half turn") << QSize(9, 6) << Transforms{turn(2)};
        QTest::newRow("three quarter turns") << QSize(9, 6) << Transforms{turn(3)};
        QTest::newRow("mirror left to right") << QSize(9, 6) << Transforms{mirror(true)};
        QTest::newRow("mirror top to bottom") << QSize(9, 6) << Transforms{mirror(false)};
        QTest::newRow("crop") << QSize(9, 6) << Transforms{crop(QRect(2, 1, 5, 4))};
        QTest::newRow("crop then turn")
            << QSize(9, 6) << Transforms{crop(QRect(2, 1, 5, 4)), turn(1)};
        QTest::newRow("turn then crop")
            << QSize(9, 6) << Transforms{turn(1), crop(QRect(1, 2, 4, 5))};
        QTest::newRow("phone order: crop, turn, mirror")
            << QSize(9, 6) << Transforms{crop(QRect(1, 0, 7, 5)), turn(3), mirror(true)};
        QTest::newRow("mirror, turn, then crop")
            << QSize(9, 6) << Transforms{mirror(false), turn(1), crop(QRect(0, 3, 6, 4))};
        QTest::newRow("two crops between turns")
            << QSize(9, 6)
            << Transforms{crop(QRect(1, 1, 8, 5)), turn(1), crop(QRect(1, 2, 3, 5)), turn(2)};
        QTest::newRow("turn and mirror, as a transpose")
            << QSize(5, 8) << Transforms{turn(1), mirror(true)};
    }

    void composedEqualsOneByOne()
    {
        QFETCH(QSize, base);
        QFETCH(Transforms, transforms);
        const QImage picture = numberedPicture(base);
        const auto composed = composeTransforms(base, transforms);
        const QImage expected = transformedOneByOne(picture, transforms);
        QCOMPARE(composed.orientedSize(), expected.size());
        const QImage result =
            orientedCopy(picture.copy(composed.crop), composed.orientation, plainPixels);
        QCOMPARE(result, expected);
    }

    void cropOutsideThePictureIsRefused_data()
    {
        QTest::addColumn<Transforms>("transforms");
        QTest::newRow("past the right edge") << Transforms{crop(QRect(5, 0, 5, 6))};
        QTest::newRow("empty") << Transforms{crop(QRect(0, 0, 0, 6))};
        QTest::newRow("fits only before the turn") << Transforms{turn(1), crop(QRect(0, 0, 9, 6))};
        QTest::newRow("negative origin") << Transforms{crop(QRect(-1, 0, 3, 3))};
    }

    void cropOutsideThePictureIsRefused()
    {
        QFETCH(Transforms, transforms);
        QVERIFY_THROWS_EXCEPTION(kavelora::platform::RuntimeError,
                                 composeTransforms(QSize(9, 6), transforms));
    }
};

QTEST_APPLESS_MAIN(HeifTransformsTest)
#include "tst_heif_transforms.moc"
