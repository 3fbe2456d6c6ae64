// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// HEIF, AVIF and JPEG XL pictures made by Debian's encoders, read through the codec libraries:
// lossy colours, orientation, wide gamuts, deep samples, alpha, and a HEIF grid larger than its
// picture claims. Lossless pictures and files cut short or lying are rows of tst_reader_contract.

#include "byte_fields.h"
#include "decoder/format_table.h"
#include "decoder/picture_decoder.h"
#include "oriented_encodings.h"
#include "picture_fixtures.h"
#include "platform/runtime_error.h"
#include "tool_encodings.h"

#include <QColorSpace>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <lcms2.h>

#include <array>
#include <cmath>
#include <optional>

using namespace kavelora;
using platform::ErrorNumber;
using platform::RuntimeError;

Q_DECLARE_METATYPE(platform::ErrorNumber)

namespace {

using namespace tests::colour;
using tests::quadrants;
const QSize kWhole(4096, 4096);
const QStringList kFormats{u"heif"_qs, u"avif"_qs, u"jxl"_qs};

// How each format is encoded so that the samples survive exactly.
struct Encoder
{
    QStringList lossless;
};

const Encoder kHeif{tests::losslessOptions(u"heif"_qs)};
const Encoder kAvif{tests::losslessOptions(u"avif"_qs)};
const Encoder kJxl{tests::losslessOptions(u"jxl"_qs)};

const Encoder& encoderFor(const QString& format)
{
    return format == u"heif" ? kHeif : format == u"avif" ? kAvif : kJxl;
}

// The colour at the centre of a quarter of image.
QRgb quadrant(const QImage& image, int column, int row)
{
    return image.pixel(image.width() * (2 * column + 1) / 4, image.height() * (2 * row + 1) / 4);
}

QByteArray describe(QRgb colour)
{
    return QByteArray::number(colour, 16).rightJustified(8, '0');
}

// Three bands whose colours lie inside the wide gamuts but partly outside sRGB.
constexpr std::array<std::array<quint8, 3>, 3> kBandColours{
    {{200, 60, 40}, {30, 180, 90}, {90, 90, 220}}};

QImage bands()
{
    QImage image(48, 48, QImage::Format_RGB32);
    for (int band = 0; band < 3; ++band) {
        const auto& c = kBandColours[static_cast<size_t>(band)];
        QPainter(&image).fillRect(0, band * 16, 48, 16, QColor(c[0], c[1], c[2]));
    }
    return image;
}

// The sRGB colour lcms makes of an 8-bit colour in primaries with the sRGB transfer curve.
QRgb lcmsReference(const cmsCIExyYTRIPLE& primaries, const std::array<quint8, 3>& colour)
{
    const cmsCIExyY d65{0.3127, 0.3290, 1.0};
    const cmsFloat64Number srgbCurve[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgbCurve);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE wide = cmsCreateRGBProfile(&d65, &primaries, curves);
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform =
        cmsCreateTransform(wide, TYPE_RGB_8, srgb, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC, 0);
    std::array<quint8, 3> out{};
    cmsDoTransform(transform, colour.data(), out.data(), 1);
    cmsDeleteTransform(transform);
    cmsCloseProfile(srgb);
    cmsCloseProfile(wide);
    cmsFreeToneCurve(curve);
    return qRgb(out[0], out[1], out[2]);
}

constexpr cmsCIExyYTRIPLE kDisplayP3{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
constexpr cmsCIExyYTRIPLE kBt2020{{0.708, 0.292, 1.0}, {0.170, 0.797, 1.0}, {0.131, 0.046, 1.0}};

QColorSpace iccSpace(const cmsCIExyYTRIPLE& primaries)
{
    return QColorSpace(QPointF(0.3127, 0.3290), QPointF(primaries.Red.x, primaries.Red.y),
                       QPointF(primaries.Green.x, primaries.Green.y),
                       QPointF(primaries.Blue.x, primaries.Blue.y),
                       QColorSpace::TransferFunction::SRgb);
}

// Ten-bit grey levels whose rounding to 8 bits differs from dropping the low bits.
constexpr std::array<int, 4> kTenBitGreys{3, 7, 515, 1019};

QImage sixteenBitGreys()
{
    QImage image(32, 8 * int{kTenBitGreys.size()}, QImage::Format_RGBX64);
    for (int i = 0; i < int{kTenBitGreys.size()}; ++i) {
        const auto level = static_cast<quint16>(
            std::lround(kTenBitGreys[static_cast<size_t>(i)] * 65535.0 / 1023.0));
        QPainter(&image).fillRect(0, i * 8, 32, 8, QColor::fromRgba64(level, level, level));
    }
    return image;
}

// The committed one-tile grid HEIF, its grid's output size raised to width x height while its
// item still claims 24 x 16; empty when the file is missing.
QByteArray heifGridOf(quint16 width, quint16 height)
{
    QFile file(QStringLiteral(KAVELORA_FUZZ_SEEDS_DIR "/seed.heic"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    // After the box's type: version, flags, rows and columns less one, then 16-bit sides.
    const qsizetype idat = bytes.indexOf("idat");
    if (idat < 0 || idat + 12 > bytes.size())
        return {};
    tests::put16be(bytes, idat + 8, width);
    tests::put16be(bytes, idat + 10, height);
    return bytes;
}

decoder::DecodedPicture read(const QString& format, const QByteArray& bytes)
{
    const decoder::PictureFormat* row = decoder::formatNamed(format.toStdString());
    if (!row || !row->read)
        qFatal("no reader for %s", qPrintable(format));
    decoder::PictureStream stream(bytes);
    std::optional<decoder::DecodedPicture> decoded = row->read(stream, {kWhole, {}});
    if (!decoded)
        qFatal("the %s reader left its file to Qt's", qPrintable(format));
    return std::move(*decoded);
}

} // namespace

class LibraryReadersTest : public QObject
{
    Q_OBJECT

private:
    // source encoded by format's tool with options; skips the test when the tool is missing.
    QByteArray encoded(const QString& format, const QImage& source, const QStringList& options)
    {
        return tests::encodedByTool(format, source, options, m_dir.path());
    }

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void decodesColoursAndOrientation_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRgb>("topLeft");
        QTest::addColumn<QRgb>("bottomRight");
        QTest::addColumn<int>("tolerance");
        const QSize landscape(64, 48);
        QTest::newRow("heif lossy")
            << u"heif"_qs << QStringList{u"-q"_qs, u"90"_qs} << landscape << kRed << kWhite << 24;
        QTest::newRow("avif lossy")
            << u"avif"_qs << QStringList{} << landscape << kRed << kWhite << 24;
        QTest::newRow("jxl lossy")
            << u"jxl"_qs << QStringList{u"-d"_qs, u"1"_qs} << landscape << kRed << kWhite << 24;
        QTest::newRow("avif turned a quarter anticlockwise")
            << u"avif"_qs << QStringList{u"-l"_qs, u"--irot"_qs, u"1"_qs} << landscape.transposed()
            << kGreen << kBlue << 1;
        QTest::newRow("avif mirrored top to bottom")
            << u"avif"_qs << QStringList{u"-l"_qs, u"--imir"_qs, u"0"_qs} << landscape << kBlue
            << kGreen << 1;
        QTest::newRow("avif cropped to its white quarter, then turned")
            << u"avif"_qs
            << QStringList{u"-l"_qs, u"--crop"_qs, u"32,24,32,24"_qs, u"--irot"_qs, u"1"_qs}
            << QSize(24, 32) << kWhite << kWhite << 1;
        QTest::newRow("avif turned a half and mirrored left to right")
            << u"avif"_qs << QStringList{u"-l"_qs, u"--irot"_qs, u"2"_qs, u"--imir"_qs, u"1"_qs}
            << landscape << kBlue << kGreen << 1;
        // A quarter turn tells the order: mirrored first, red would end at the top left.
        QTest::newRow("avif turned a quarter anticlockwise, then mirrored left to right")
            << u"avif"_qs << QStringList{u"-l"_qs, u"--irot"_qs, u"1"_qs, u"--imir"_qs, u"1"_qs}
            << landscape.transposed() << kWhite << kRed << 1;
    }

    void decodesColoursAndOrientation()
    {
        QFETCH(QString, format);
        QFETCH(QStringList, options);
        QFETCH(QSize, size);
        QFETCH(QRgb, topLeft);
        QFETCH(QRgb, bottomRight);
        QFETCH(int, tolerance);
        const QByteArray bytes = encoded(format, quadrants(), options);
        if (bytes.isEmpty())
            QSKIP("the encoder is missing (test.sh installs it)");
        QCOMPARE(decoder::sniffPictureFormat(bytes), format.toLatin1());
        const decoder::DecodedPicture shown = decoder::decodePicture(bytes, QSize(800, 600));
        const QImage image = shown.image;
        QCOMPARE(image.size(), size);
        QCOMPARE(shown.ownSize, size);
        QVERIFY(image.format() == QImage::Format_RGB32);
        QVERIFY2(tests::colourNear(quadrant(image, 0, 0), topLeft, tolerance),
                 describe(quadrant(image, 0, 0)));
        QVERIFY2(tests::colourNear(quadrant(image, 1, 1), bottomRight, tolerance),
                 describe(quadrant(image, 1, 1)));
    }

    void appliesOrientation_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRgb>("topLeft");
        QTest::addColumn<QRgb>("bottomRight");
        for (const QString& format : {u"heif"_qs, u"jxl"_qs}) {
            const QByteArray name = format.toLatin1();
            QTest::newRow(name + " as stored") << format << 1 << QSize(64, 48) << kRed << kWhite;
            QTest::newRow(name + " mirrored left to right")
                << format << 2 << QSize(64, 48) << kGreen << kBlue;
            QTest::newRow(name + " turned a half")
                << format << 3 << QSize(64, 48) << kWhite << kRed;
            QTest::newRow(name + " transposed") << format << 5 << QSize(48, 64) << kRed << kWhite;
            QTest::newRow(name + " turned a quarter clockwise")
                << format << 6 << QSize(48, 64) << kBlue << kGreen;
            QTest::newRow(name + " turned a quarter anticlockwise")
                << format << 8 << QSize(48, 64) << kGreen << kBlue;
        }
    }

    void appliesOrientation()
    {
        QFETCH(QString, format);
        QFETCH(int, orientation);
        QFETCH(QSize, size);
        QFETCH(QRgb, topLeft);
        QFETCH(QRgb, bottomRight);
        const QByteArray bytes = format == u"heif"
                                     ? tests::heifWithOrientation(quadrants(), orientation)
                                     : tests::jxlWithOrientation(quadrants(), orientation);
        QVERIFY(!bytes.isEmpty());
        const decoder::DecodedPicture decoded = read(format, bytes);
        QCOMPARE(decoded.image.size(), size);
        QCOMPARE(decoded.ownSize, size);
        // The HEVC coding is lossy.
        QVERIFY2(tests::colourNear(quadrant(decoded.image, 0, 0), topLeft, 24),
                 describe(quadrant(decoded.image, 0, 0)));
        QVERIFY2(tests::colourNear(quadrant(decoded.image, 1, 1), bottomRight, 24),
                 describe(quadrant(decoded.image, 1, 1)));
    }

    void convertsWideGamutsToSrgb_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("embedsProfile");
        QTest::addColumn<bool>("displayP3");
        QTest::newRow("heif Display P3 profile") << u"heif"_qs << kHeif.lossless << true << true;
        QTest::newRow("heif BT.2020 profile") << u"heif"_qs << kHeif.lossless << true << false;
        QTest::newRow("avif Display P3 code points")
            << u"avif"_qs << QStringList{u"-l"_qs, u"--cicp"_qs, u"12/13/0"_qs} << false << true;
        QTest::newRow("avif BT.2020 code points")
            << u"avif"_qs << QStringList{u"-l"_qs, u"--cicp"_qs, u"9/13/0"_qs} << false << false;
        QTest::newRow("avif Display P3 profile") << u"avif"_qs << kAvif.lossless << true << true;
        QTest::newRow("jxl Display P3 profile") << u"jxl"_qs << kJxl.lossless << true << true;
        QTest::newRow("jxl BT.2020 profile") << u"jxl"_qs << kJxl.lossless << true << false;
        QTest::newRow("lossy jxl BT.2020 profile")
            << u"jxl"_qs << QStringList{u"-d"_qs, u"0.3"_qs} << true << false;
    }

    void convertsWideGamutsToSrgb()
    {
        QFETCH(QString, format);
        QFETCH(QStringList, options);
        QFETCH(bool, embedsProfile);
        QFETCH(bool, displayP3);
        const cmsCIExyYTRIPLE& primaries = displayP3 ? kDisplayP3 : kBt2020;
        QImage source = bands();
        if (embedsProfile)
            source.setColorSpace(iccSpace(primaries));
        const QByteArray bytes = encoded(format, source, options);
        if (bytes.isEmpty())
            QSKIP("the encoder is missing (test.sh installs it)");
        const QImage image = read(format, bytes).image;
        QCOMPARE(image.size(), source.size());
        for (int band = 0; band < 3; ++band) {
            const QRgb expected = lcmsReference(primaries, kBandColours[static_cast<size_t>(band)]);
            const QRgb actual = image.pixel(24, band * 16 + 8);
            QVERIFY2(tests::colourNear(actual, expected, 3),
                     describe(actual) + " for " + describe(expected));
        }
    }

    void roundsTenBitGreys_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QStringList>("options");
        QTest::newRow("heif") << u"heif"_qs << kHeif.lossless + QStringList{u"-b"_qs, u"10"_qs};
        QTest::newRow("avif") << u"avif"_qs << QStringList{u"-l"_qs, u"-d"_qs, u"10"_qs};
        QTest::newRow("jxl") << u"jxl"_qs
                             << QStringList{u"-d"_qs, u"0"_qs, u"--override_bitdepth=10"_qs};
    }

    void roundsTenBitGreys()
    {
        QFETCH(QString, format);
        QFETCH(QStringList, options);
        const QByteArray bytes = encoded(format, sixteenBitGreys(), options);
        if (bytes.isEmpty())
            QSKIP("the encoder is missing (test.sh installs it)");
        const QImage image = read(format, bytes).image;
        for (int i = 0; i < int{kTenBitGreys.size()}; ++i) {
            const int level = kTenBitGreys[static_cast<size_t>(i)];
            const int expected = static_cast<int>(std::lround(level * 255.0 / 1023.0));
            const QRgb actual = image.pixel(16, i * 8 + 4);
            QVERIFY2(tests::colourNear(actual, qRgb(expected, expected, expected), 0),
                     describe(actual) + " for level " + QByteArray::number(level));
        }
    }

    void keepsAlpha_data()
    {
        QTest::addColumn<QString>("format");
        for (const QString& format : kFormats)
            QTest::newRow(format.toLatin1()) << format;
    }

    void keepsAlpha()
    {
        QFETCH(QString, format);
        QImage source(32, 32, QImage::Format_ARGB32);
        source.fill(kBlue);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 32; ++x)
                source.setPixel(x, y, qRgba(255, 0, 0, 128));
        }
        const QByteArray bytes = encoded(format, source, encoderFor(format).lossless);
        if (bytes.isEmpty())
            QSKIP("the encoder is missing (test.sh installs it)");
        const QImage image = read(format, bytes).image;
        QVERIFY(image.hasAlphaChannel());
        QVERIFY2(tests::colourNear(image.pixel(8, 8), kRed, 1), describe(image.pixel(8, 8)));
        QVERIFY2(std::abs(qAlpha(image.pixel(8, 8)) - 128) <= 1, describe(image.pixel(8, 8)));
        QVERIFY2(tests::colourNear(image.pixel(8, 24), kBlue, 1), describe(image.pixel(8, 24)));
        QCOMPARE(qAlpha(image.pixel(8, 24)), 255);
    }

    void refusesHostileVariants_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("variant");
        QTest::addColumn<ErrorNumber>("error");
        // Just over the pixel cap, each side under the side limit libheif checks.
        QTest::newRow("heif grid larger than its picture claims")
            << u"heif"_qs << u"grid"_qs << ErrorNumber::OutOfMemory;
    }

    void refusesHostileVariants()
    {
        QFETCH(QString, format);
        QFETCH(QString, variant);
        QFETCH(ErrorNumber, error);
        QByteArray bytes = encoded(format, quadrants(), encoderFor(format).lossless);
        if (bytes.isEmpty())
            QSKIP("the encoder is missing (test.sh installs it)");
        if (variant == u"grid")
            bytes = heifGridOf(65000, 1040);
        QVERIFY(!bytes.isEmpty());
        try {
            read(format, bytes);
            QFAIL("a hostile variant decoded");
        } catch (const RuntimeError& refusal) {
            QCOMPARE(refusal.errorNumber(), error);
        }
    }
};

QTEST_MAIN(LibraryReadersTest)
#include "tst_library_readers.moc"
