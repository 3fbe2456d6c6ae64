// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "allocation_probe.h"
#include "decoder/picture_decoder.h"
#include "future_result.h"
#include "in_process_decoding.h"
#include "picture/animation.h"
#include "picture/load_picture.h"
#include "picture/picture_file.h"
#include "picture_fixtures.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"
#include "seeded_random.h"
#include "test_files.h"
#include "window/image_box.h"

#include <QApplication>
#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

using namespace kavelora;
using namespace kavelora::tests;

namespace {

constexpr std::size_t kChildAddressSpaceBytes = 512ULL * 1024 * 1024;
// Over the decode allocation limit: anything this large means a check was bypassed.
constexpr std::size_t kLargestAllowedRequest = 300ULL * 1024 * 1024;
const char* const kChildOption = "--load-limited";
// Given as the file name, makes the child ask for 400 MiB itself: the probe must see it.
const char* const kProbeSelfCheck = "probe-self-check";

// The window's picture area as it opens at 96 dpi, in device pixels: what the open command
// decodes for.
const QSize kPictureAreaPixels(481, 297);

enum ChildStatus { Refused = 0, Loaded = 1, OtherFailure = 2, AllocationAttempted = 3 };

// Runs in the child: loads one file under a 512 MiB address-space limit.
int loadLimited(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    const QString fileName = QString::fromLocal8Bit(argv[2]);
#if !defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer reserves terabytes of address space for its shadow memory; under it
    // the parent caps single allocations through ASAN_OPTIONS instead.
    const rlimit limit{kChildAddressSpaceBytes, kChildAddressSpaceBytes};
    if (setrlimit(RLIMIT_AS, &limit) != 0)
        return OtherFailure;
#endif
    int status = OtherFailure;
    startRecordingAllocations();
    try {
        if (fileName == QLatin1String(kProbeSelfCheck)) {
            // volatile, or the compiler drops the pair.
            void* volatile request = std::malloc(400ULL * 1024 * 1024);
            std::free(request);
        }
        // The decoding the helper does, in this process, where its allocations are seen.
        const picture::PictureFile file(fileName);
        decoder::PictureStream stream(protocol::UniqueDescriptor(::dup(file.descriptor())),
                                      file.size());
        status = decoder::decodePictureStream(stream, kPictureAreaPixels).image.isNull()
                     ? OtherFailure
                     : Loaded;
    } catch (const platform::RuntimeError&) {
        status = Refused;
    } catch (...) {
        status = OtherFailure;
    }
    const std::size_t largest = stopRecordingAllocations();
    std::printf("largest request: %zu bytes\n", largest);
    if (largest > kLargestAllowedRequest)
        return AllocationAttempted;
    return status;
}

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kPink = qRgb(255, 192, 255);
const QSize kFixtureSize(24, 16);

bool keepsTheFile(const picture::Picture& picture)
{
    return std::holds_alternative<std::shared_ptr<picture::PictureFile>>(picture.source().kept);
}

bool keepsNothing(const picture::Picture& picture)
{
    return std::holds_alternative<picture::Picture::Source::NothingKept>(picture.source().kept);
}

} // namespace

class TstLoadPicture : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::shared_ptr<InProcessDecoding> m_decoding = inProcessDecoding();

    static QByteArray gifHalves(QSize size, int leftIndex, int rightIndex)
    {
        QByteArray indices;
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x)
                indices.append(static_cast<char>(x < size.width() / 2 ? leftIndex : rightIndex));
        }
        return indices;
    }

    static QByteArray iconWithTransparentRight()
    {
        QImage icon = twoHalves(kFixtureSize, kRed, qRgba(0, 0, 0, 0), QImage::Format_ARGB32);
        return encoded(icon, "ICO");
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(QImageWriter::supportedImageFormats().contains("webp"),
                 "the WebP plugin (qt6-image-formats-plugins) is needed");
    }

    void decodesEveryAcceptedFormat_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QRgb>("left");
        QTest::addColumn<QRgb>("right");
        QTest::addColumn<int>("tolerance");

        const QImage colour = twoHalves(kFixtureSize, kRed, kBlue);
        const QImage mono = twoHalves(kFixtureSize, kBlack, kWhite, QImage::Format_Mono);
        const QImage grey = twoHalves(kFixtureSize, kBlack, kWhite, QImage::Format_Grayscale8);
        const QByteArray bmp = encoded(colour.convertToFormat(QImage::Format_RGB888), "BMP");
        QCOMPARE(bmp.at(28), 24); // uncompressed 24-bit, like the splash
        QByteArray cursor = iconWithTransparentRight();
        cursor[2] = 2;

        QTest::newRow("24-bit bmp") << bmp << kRed << kBlue << 0;
        QTest::newRow("icon") << iconWithTransparentRight() << kRed << qRgba(0, 0, 0, 0) << 0;
        QTest::newRow("cursor") << cursor << kRed << qRgba(0, 0, 0, 0) << 0;
        QTest::newRow("gif") << gifFile(kFixtureSize, {kRed, kBlue},
                                        {gifHalves(kFixtureSize, 0, 1)})
                             << kRed << kBlue << 0;
        QTest::newRow("jpeg") << encoded(colour, "JPEG", 95) << kRed << kBlue << 24;
        QTest::newRow("png") << encoded(colour, "PNG") << kRed << kBlue << 0;
        QTest::newRow("webp") << encoded(colour, "WEBP", 100) << kRed << kBlue << 0;
        QTest::newRow("tiff") << encoded(colour, "TIFF") << kRed << kBlue << 0;
        QTest::newRow("pbm") << encoded(mono, "PBM") << kBlack << kWhite << 0;
        QTest::newRow("pgm") << encoded(grey, "PGM") << kBlack << kWhite << 0;
        QTest::newRow("ppm") << encoded(colour, "PPM") << kRed << kBlue << 0;
        QTest::newRow("xbm") << encoded(mono, "XBM") << kBlack << kWhite << 0;
        QTest::newRow("xpm") << encoded(colour, "XPM") << kRed << kBlue << 0;
    }

    void decodesEveryAcceptedFormat()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QRgb, left);
        QFETCH(QRgb, right);
        QFETCH(int, tolerance);
        QVERIFY(!bytes.isEmpty());
        // A name that says nothing: the format comes from the content.
        const QString path = writeFixture(m_dir.path(), QStringLiteral("fixture.dat"), bytes);

        const picture::Picture picture =
            kavelora::tests::resultOf(picture::LoadPicture(m_decoding, path, kPictureAreaPixels));
        QVERIFY(!picture.isEmpty());
        QCOMPARE(picture.ownSize(), kFixtureSize);
        const double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInch();
        QCOMPARE(picture.ownSizeInches(), QSizeF(kFixtureSize) / dpi);
        // The screen copy is the whole still picture: neither the bytes nor the file are held.
        QVERIFY(keepsNothing(picture));
        QCOMPARE(picture.source().fileName, path);
        const QImage image = picture.screenImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), kFixtureSize);
        const QRgb leftPixel = image.pixel(3, 8);
        const QRgb rightPixel = image.pixel(20, 8);
        QVERIFY2(colourNear(leftPixel, left, tolerance),
                 qPrintable(QString::number(leftPixel, 16)));
        QVERIFY2(colourNear(rightPixel, right, tolerance),
                 qPrintable(QString::number(rightPixel, 16)));
        QCOMPARE(qAlpha(rightPixel), qAlpha(right));
    }

    void decodesLargeFilesLikeTheirBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QImage picture = noisePicture(QSize(320, 240), 12345);
        const QByteArray png = encoded(picture, "PNG");
        const qsizetype imageData = png.indexOf("IDAT") - 4;
        // Ancillary data longer than the head: the checks need the whole file.
        const QByteArray text =
            pngChunk("tEXt", "Comment" + QByteArray(1, '\0') + QByteArray(100'000, 'x'));

        QTest::newRow("png") << png;
        QTest::newRow("png with a long text chunk first")
            << png.left(imageData) + text + png.mid(imageData);
        QTest::newRow("tiff") << encoded(picture, "TIFF");
        QTest::newRow("lossless webp") << encoded(picture, "WEBP", 100);
        QTest::newRow("24-bit bmp")
            << encoded(picture.convertToFormat(QImage::Format_RGB888), "BMP");
        QTest::newRow("ppm") << encoded(picture, "PPM");
        QTest::newRow("jpeg") << encoded(picture, "JPEG", 90);
    }

    void decodesLargeFilesLikeTheirBytes()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY2(bytes.size() > protocol::kPictureHeadBytes, "the fixture fits in the head");
        const QString path = writeFixture(m_dir.path(), QStringLiteral("large.dat"), bytes);

        const picture::Picture fromFile =
            kavelora::tests::resultOf(picture::LoadPicture(m_decoding, path, QSize(800, 600)));
        const decoder::DecodedPicture fromBytes = decoder::decodePicture(bytes, QSize(800, 600));
        QCOMPARE(fromFile.ownSize(), QSize(320, 240));
        QCOMPARE(fromFile.screenImage().convertToFormat(QImage::Format_RGB32),
                 fromBytes.image.convertToFormat(QImage::Format_RGB32));
        QVERIFY(keepsNothing(fromFile));
        QCOMPARE(fromFile.source().format, fromBytes.format);
    }

    void emptyNameGivesEmptyPicture()
    {
        QVERIFY(kavelora::tests::resultOf(
                    picture::LoadPicture(m_decoding, QString(), kPictureAreaPixels))
                    .isEmpty());
    }

    void appliesExifOrientation_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("ownSize");
        QTest::addColumn<QPoint>("bluePoint");
        QTest::addColumn<QPoint>("redPoint");
        // The stored picture is 60 x 40, blue on the left, red on the right.
        QTest::newRow("upright") << 1 << QSize(60, 40) << QPoint(10, 20) << QPoint(50, 20);
        QTest::newRow("turned a quarter clockwise")
            << 6 << QSize(40, 60) << QPoint(20, 10) << QPoint(20, 50);
        QTest::newRow("upside down") << 3 << QSize(60, 40) << QPoint(50, 20) << QPoint(10, 20);
        QTest::newRow("turned a quarter anticlockwise")
            << 8 << QSize(40, 60) << QPoint(20, 50) << QPoint(20, 10);
    }

    void appliesExifOrientation()
    {
        QFETCH(int, orientation);
        QFETCH(QSize, ownSize);
        QFETCH(QPoint, bluePoint);
        QFETCH(QPoint, redPoint);
        const QByteArray jpeg = encoded(twoHalves(QSize(60, 40), kBlue, kRed), "JPEG", 95);
        const decoder::DecodedPicture decoded =
            decoder::decodePicture(withExifOrientation(jpeg, orientation), QSize(800, 600));
        QCOMPARE(decoded.ownSize, ownSize);
        QCOMPARE(decoded.image.size(), ownSize);
        QVERIFY(colourNear(decoded.image.pixel(bluePoint), kBlue, 24));
        QVERIFY(colourNear(decoded.image.pixel(redPoint), kRed, 24));
    }

    void convertsColourProfileToSrgb()
    {
        QImage wide(kFixtureSize, QImage::Format_RGB32);
        wide.fill(qRgb(40, 160, 90));
        wide.setColorSpace(QColorSpace::DisplayP3);
        const QByteArray png = encoded(wide, "PNG");
        QVERIFY(png.contains("iCCP"));
        const QRgb expected = wide.convertedToColorSpace(QColorSpace::SRgb).pixel(0, 0);
        QVERIFY(expected != wide.pixel(0, 0));

        const QImage decoded = decoder::decodePicture(png, QSize(800, 600)).image;
        QCOMPARE(decoded.colorSpace(), QColorSpace(QColorSpace::SRgb));
        QVERIFY(colourNear(decoded.pixel(5, 5), expected, 1));
    }

    void decodesLargeJpegAtReducedScale_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("ownSize");
        QTest::newRow("landscape") << 1 << QSize(4000, 3000);
        QTest::newRow("turned by its EXIF block") << 6 << QSize(3000, 4000);
    }

    void decodesLargeJpegAtReducedScale()
    {
        QFETCH(int, orientation);
        QFETCH(QSize, ownSize);
        const QImage stored = twoHalves(QSize(4000, 3000), kBlue, kRed, QImage::Format_RGB888);
        const QByteArray jpeg = withExifOrientation(encoded(stored, "JPEG", 90), orientation);
        const QSize screen = ownSize.scaled(800, 800, Qt::KeepAspectRatio);

        const picture::Picture picture = kavelora::tests::resultOf(picture::LoadPicture(
            m_decoding, writeFixture(m_dir.path(), QStringLiteral("reduced.jpg"), jpeg), screen));
        QCOMPARE(picture.ownSize(), ownSize);
        // 1/4 still covers the screen; 1/8 would not.
        QCOMPARE(picture.screenImage().size(), ownSize / 4);
        // Finer copies are decoded from the file kept with it.
        QVERIFY(keepsTheFile(picture));
        QCOMPARE(kavelora::tests::resultOf(picture.decodeForSize(screen)).size(), ownSize / 4);
        QCOMPARE(kavelora::tests::resultOf(picture.decodeForSize(ownSize / 3)).size(), ownSize / 2);
        QCOMPARE(kavelora::tests::resultOf(picture.decodeForSize(ownSize * 2)).size(), ownSize);
        const QImage full = kavelora::tests::resultOf(picture.decodeForSize(ownSize));
        QVERIFY(colourNear(full.pixel(ownSize.width() / 4, ownSize.height() / 4), kBlue, 24));
    }

    // The picture area stretches its picture to fill it, so the copy decoded for it must
    // cover it on both sides, however the picture's shape differs from the area's.
    void decodesJpegToCoverTheAreaOnBothSides_data()
    {
        QTest::addColumn<QSize>("ownSize");
        QTest::addColumn<QSize>("decodedSize");
        // 1/8 would be 500 x 375.
        QTest::newRow("landscape photo, shaped like the area")
            << QSize(4000, 3000) << QSize(500, 375);
        // 1/8 would be 375 x 500, too narrow.
        QTest::newRow("portrait photo") << QSize(3000, 4000) << QSize(750, 1000);
        // 1/2 would be 4000 x 200, too low.
        QTest::newRow("long strip") << QSize(8000, 400) << QSize(8000, 400);
        // 1/8 would be 50 x 1000, too narrow; even whole it is narrower than the area.
        QTest::newRow("tall strip") << QSize(400, 8000) << QSize(400, 8000);
        // 1/4 would be 1000 x 295, two rows short.
        QTest::newRow("just too low at a quarter") << QSize(4000, 1180) << QSize(2000, 590);
    }

    void decodesJpegToCoverTheAreaOnBothSides()
    {
        QFETCH(QSize, ownSize);
        QFETCH(QSize, decodedSize);
        QImage stored(ownSize, QImage::Format_Grayscale8);
        stored.fill(128);
        const QString path =
            writeFixture(m_dir.path(), QStringLiteral("shaped.jpg"), encoded(stored, "JPEG", 50));

        const picture::Picture picture =
            kavelora::tests::resultOf(picture::LoadPicture(m_decoding, path, kPictureAreaPixels));
        QCOMPARE(picture.ownSize(), ownSize);
        QCOMPARE(picture.screenImage().size(), decodedSize);
    }

    // A reduced JPEG opened from a file keeps the open file for finer copies, not its bytes;
    // finer copies come only from the content that was opened.
    void keepsTheOpenFileOfAReducedJpeg_data()
    {
        QTest::addColumn<QString>("afterwards");
        QTest::addColumn<bool>("finerCopy");
        QTest::newRow("file unchanged") << QStringLiteral("unchanged") << true;
        QTest::newRow("file removed") << QStringLiteral("removed") << true;
        QTest::newRow("file renamed") << QStringLiteral("renamed") << true;
        QTest::newRow("file written over in place") << QStringLiteral("written") << false;
        QTest::newRow("file cut short") << QStringLiteral("cut") << false;
    }

    void keepsTheOpenFileOfAReducedJpeg()
    {
        QFETCH(QString, afterwards);
        QFETCH(bool, finerCopy);
        const QSize ownSize(4000, 3000);
        const QByteArray jpeg = encoded(twoHalves(ownSize, kBlue, kRed), "JPEG", 90);
        const QString path = writeFixture(m_dir.path(), QStringLiteral("kept.jpg"), jpeg);

        const picture::Picture picture =
            kavelora::tests::resultOf(picture::LoadPicture(m_decoding, path, QSize(800, 600)));
        QCOMPARE(picture.screenImage().size(), ownSize / 4);
        QVERIFY(keepsTheFile(picture));

        QFile file(path);
        if (afterwards == QLatin1String("removed")) {
            QVERIFY(file.remove());
        } else if (afterwards == QLatin1String("renamed")) {
            QVERIFY(file.rename(m_dir.filePath(QStringLiteral("renamed.jpg"))));
        } else if (afterwards == QLatin1String("written")) {
            const QByteArray other = encoded(twoHalves(ownSize, kRed, kBlue), "JPEG", 80);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QCOMPARE(file.write(other), other.size());
            QVERIFY(file.resize(other.size()));
        } else if (afterwards == QLatin1String("cut")) {
            QVERIFY(file.resize(jpeg.size() / 2));
        }
        file.close();

        const QImage finer = kavelora::tests::resultOf(picture.decodeForSize(ownSize / 3));
        QCOMPARE(finer.size(), finerCopy ? ownSize / 2 : ownSize / 4);
        QVERIFY(colourNear(finer.pixel(finer.width() / 4, finer.height() / 2), kBlue, 24));
        QVERIFY(colourNear(finer.pixel(finer.width() * 3 / 4, finer.height() / 2), kRed, 24));
        QFile::remove(m_dir.filePath(QStringLiteral("renamed.jpg")));
    }

    // The file is opened, then written to before its picture is decoded: what is shown, if
    // anything, is what the file holds once written, checked as a whole.
    void decodesWhatAFileHoldsAfterAWrite_data()
    {
        QTest::addColumn<QByteArray>("opened");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QSize>("shown");
        // Larger than the head read to check headers, so that the decoder reads the file.
        const QSize size(400, 300);
        const QByteArray bmp = encoded(twoHalves(size, kBlue, kRed, QImage::Format_RGB888), "BMP");
        // Halves with a little noise, so that the PNGs do not compress to a few bytes.
        const auto noisyHalves = [](QSize halvesSize) {
            QImage image = twoHalves(halvesSize, kBlue, kRed, QImage::Format_RGB32);
            SeededRandom random(1);
            for (int y = 0; y < image.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x)
                    line[x] ^= random.next() & 0x070707u;
            }
            return image;
        };
        const QByteArray png = encoded(noisyHalves(size), "PNG");
        const QByteArray otherPng = encoded(noisyHalves(QSize(320, 240)), "PNG");
        QVERIFY(bmp.size() > protocol::kPictureHeadBytes);
        QVERIFY(otherPng.size() > protocol::kPictureHeadBytes);

        // Its header still promises every row; the decoder would leave the missing ones as
        // whatever memory held.
        QTest::newRow("bmp cut short") << bmp << bmp.left(bmp.size() / 2) << QSize();
        QTest::newRow("png written over with another picture")
            << png << otherPng << QSize(320, 240);
    }

    void decodesWhatAFileHoldsAfterAWrite()
    {
        QFETCH(QByteArray, opened);
        QFETCH(QByteArray, written);
        QFETCH(QSize, shown);
        const QString path = writeFixture(m_dir.path(), QStringLiteral("written.pic"), opened);
        const auto file = std::make_shared<picture::PictureFile>(path);

        QFile writer(path);
        QVERIFY(writer.open(QIODevice::ReadWrite));
        QCOMPARE(writer.write(written), written.size());
        QVERIFY(writer.resize(written.size()));
        writer.close();

        try {
            const picture::Picture picture = kavelora::tests::resultOf(
                picture::loadOpenedPicture(m_decoding, file, QSize(800, 600), path));
            QCOMPARE(picture.screenImage().size(), shown);
            const QImage image = picture.screenImage();
            QVERIFY(colourNear(image.pixel(image.width() / 4, image.height() / 2), kBlue, 8));
            QVERIFY(colourNear(image.pixel(image.width() * 3 / 4, image.height() / 2), kRed, 8));
        } catch (const platform::RuntimeError& error) {
            QVERIFY2(shown.isEmpty(), qPrintable(error.text()));
            QCOMPARE(error.errorNumber(), platform::ErrorNumber::InvalidPicture);
        }
    }

    void capsPixelsOfLargeJpegByScaling()
    {
        // 72 megapixels is over the cap: even with a huge screen it decodes at half size.
        QImage stored(9000, 8000, QImage::Format_Grayscale8);
        stored.fill(200);
        const QByteArray jpeg = encoded(stored, "JPEG", 50);
        const picture::Picture picture = kavelora::tests::resultOf(picture::LoadPicture(
            m_decoding, writeFixture(m_dir.path(), QStringLiteral("huge.jpg"), jpeg),
            QSize(20000, 20000)));
        QCOMPARE(picture.ownSize(), QSize(9000, 8000));
        QCOMPARE(picture.screenImage().size(), QSize(4500, 4000));
        QCOMPARE(kavelora::tests::resultOf(picture.decodeForSize(QSize(9000, 8000))).size(),
                 QSize(4500, 4000));
    }

    void animatedGifPlaysEveryFrameAndLoops()
    {
        const QSize size(8, 8);
        const QByteArray gif =
            gifFile(size, {kRed, kBlue}, {gifHalves(size, 0, 0), gifHalves(size, 1, 1)}, 5);
        const picture::Picture picture = kavelora::tests::resultOf(picture::LoadPicture(
            m_decoding, writeFixture(m_dir.path(), QStringLiteral("looping.gif"), gif),
            kPictureAreaPixels));
        QVERIFY(picture.isAnimated());
        // Every frame the animation hands on is recorded, however late the checks look.
        picture::Animation animation(picture);
        QSignalSpy frames(&animation, &picture::Animation::frameChanged);
        QTRY_VERIFY(frames.size() >= 3);
        const auto centreOf = [&frames](int index) {
            return frames.at(index).at(0).value<QImage>().pixel(4, 4);
        };
        QCOMPARE(centreOf(0), kRed);
        QCOMPARE(centreOf(1), kBlue);
        QCOMPARE(centreOf(2), kRed);
    }

    void animatedGifShowsItsFramesInThePictureArea()
    {
        const QSize size(8, 8);
        QByteArray gif =
            gifFile(size, {kRed, kBlue}, {gifHalves(size, 0, 0), gifHalves(size, 1, 1)}, 5);
        // Without the looping extension the animation plays once and stays on its last frame,
        // so the check below waits for a state that lasts rather than one that passes.
        const qsizetype looping = gif.indexOf("NETSCAPE2.0");
        QVERIFY(looping > 3);
        gif.remove(looping - 3, 19);
        const picture::Picture picture = kavelora::tests::resultOf(picture::LoadPicture(
            m_decoding, writeFixture(m_dir.path(), QStringLiteral("once.gif"), gif),
            kPictureAreaPixels));
        QVERIFY(picture.isAnimated());
        QCOMPARE(picture.screenImage().pixel(4, 4), kRed);

        QWidget window;
        window::ImageBox box(&window);
        box.resize(32, 32);
        box.setPicture(picture);
        const auto shownCentre = [&box] { return box.grab().toImage().pixel(16, 16); };
        QTRY_COMPARE(shownCentre(), kBlue);
        const picture::Picture onScreen = box.picture();
        QVERIFY(!onScreen.isAnimated());
        QCOMPARE(onScreen.screenImage().pixel(4, 4), kBlue);
        QCOMPARE(onScreen.ownSize(), size);
        QVERIFY(keepsTheFile(onScreen));
    }

    void transparentPartsShowTheWindowBehind()
    {
        const picture::Picture picture = kavelora::tests::resultOf(picture::LoadPicture(
            m_decoding,
            writeFixture(m_dir.path(), QStringLiteral("masked.ico"), iconWithTransparentRight()),
            kPictureAreaPixels));
        QWidget window;
        QPalette pink = window.palette();
        pink.setColor(QPalette::Window, QColor(kPink));
        window.setPalette(pink);
        window.setAutoFillBackground(true);
        window.resize(48, 32);
        window::ImageBox box(&window);
        box.setGeometry(0, 0, 48, 32);
        box.setPicture(picture);
        const QImage shown = window.grab().toImage();
        QCOMPARE(shown.pixel(10, 16), kRed);
        QCOMPARE(shown.pixel(40, 16), kPink);
    }

    void refusesFormatsOutsideTheAllowList_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("qtWouldDecode");
        const QByteArray svg("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"8\" height=\"8\">"
                             "<rect width=\"8\" height=\"8\" fill=\"red\"/></svg>");
        const QByteArray icns = encoded(twoHalves(QSize(32, 32), kRed, kBlue), "ICNS");
        QVERIFY(!icns.isEmpty());
        QTest::newRow("svg named as png") << QStringLiteral("drawing.png") << svg << false;
        QTest::newRow("icns named as png") << QStringLiteral("apple.png") << icns << true;
        QTest::newRow("icns named as icns") << QStringLiteral("apple.icns") << icns << true;
        QTest::newRow("text named as jpeg")
            << QStringLiteral("notes.jpg") << QByteArray("hello") << false;
        QTest::newRow("empty file") << QStringLiteral("empty.bmp") << QByteArray() << false;
    }

    void refusesFormatsOutsideTheAllowList()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, qtWouldDecode);
        const QString path = writeFixture(m_dir.path(), name, bytes);
        // The refusal is the allow-list's, not the decoder's.
        QCOMPARE(!QImage(path).isNull(), qtWouldDecode);
        try {
            kavelora::tests::resultOf(picture::LoadPicture(m_decoding, path, kPictureAreaPixels));
            QFAIL("loaded");
        } catch (const platform::RuntimeError& error) {
            QCOMPARE(error.errorNumber(), platform::ErrorNumber::InvalidPicture);
        }
    }

    void boundsMemoryOnHostileFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("expected");

        const QByteArray png = encoded(twoHalves(kFixtureSize, kRed, kBlue), "PNG");
        const QByteArray signature = png.left(8);
        const QByteArray header = png.mid(8, 25);
        QByteArray lyingChunk = signature + header;
        lyingChunk.append(QByteArray::fromHex("7fffffff") + "tEXt" + "Comment\0xxxxxxxxxxxxxxxx");
        lyingChunk = lyingChunk.left(73);

        QByteArray hugeHeaderData = QByteArray::fromHex("0000ffff0000ffff0806000000");
        const QByteArray hugePng = signature + pngChunk("IHDR", hugeHeaderData) + png.mid(33);

        QByteArray hugeJpeg = encoded(twoHalves(kFixtureSize, kRed, kBlue), "JPEG", 90);
        const qsizetype frame = hugeJpeg.indexOf("\xFF\xC0");
        QVERIFY(frame > 0);
        hugeJpeg.replace(frame + 5, 4, QByteArray::fromHex("ffdcffdc"));

        // Progressive: the decoder would buffer every coefficient of 30000 x 30000 pixels.
        QByteArray hugeProgressive;
        QBuffer progressiveBuffer(&hugeProgressive);
        progressiveBuffer.open(QIODevice::WriteOnly);
        QImageWriter progressiveWriter(&progressiveBuffer, "jpeg");
        progressiveWriter.setProgressiveScanWrite(true);
        QVERIFY(progressiveWriter.write(twoHalves(kFixtureSize, kRed, kBlue)));
        const qsizetype progressiveFrame = hugeProgressive.indexOf("\xFF\xC2");
        QVERIFY(progressiveFrame > 0);
        hugeProgressive.replace(progressiveFrame + 5, 4, QByteArray::fromHex("75307530"));

        const QByteArray bmp = encoded(
            twoHalves(QSize(512, 512), kRed, kBlue).convertToFormat(QImage::Format_RGB888), "BMP");
        QByteArray truncatedRle = bmp.left(54);
        truncatedRle[28] = 8; // 8 bits per pixel
        truncatedRle[30] = 1; // run-length coded
        truncatedRle[10] = 0x36;
        truncatedRle[11] = 0x04; // pixels after a 256-colour palette
        truncatedRle.append(QByteArray(1024, '\x40'));
        truncatedRle.append(QByteArray::fromHex("0ac80001")); // ten pixels, then the end

        QTest::newRow("control: an ordinary png loads") << png << int(Loaded);
        if (allocationProbeWorks()) {
            QTest::newRow("control: the probe sees a large request")
                << QByteArray(kProbeSelfCheck) << int(AllocationAttempted);
        }
        QTest::newRow("png chunk claiming 0x7FFFFFFF bytes") << lyingChunk << int(Refused);
        QTest::newRow("png header claiming 65535 x 65535") << hugePng << int(Refused);
        // Decoded at 1/8, 8188 x 8188 pixels just inside the cap, its missing data grey.
        QTest::newRow("jpeg header claiming 65500 x 65500") << hugeJpeg << int(Loaded);
        QTest::newRow("progressive jpeg claiming 30000 x 30000") << hugeProgressive << int(Refused);
        QTest::newRow("truncated bmp") << bmp.left(bmp.size() / 2) << int(Refused);
        QTest::newRow("truncated large bmp")
            << encoded(noisePicture(QSize(320, 240), 12345), "BMP").chopped(1) << int(Refused);
        const QByteArray text =
            pngChunk("tEXt", "Comment" + QByteArray(1, '\0') + QByteArray(100'000, 'x'));
        QTest::newRow("png chunk claiming 0x7FFFFFFF bytes after a long text chunk")
            << signature + header + text + lyingChunk.mid(33) << int(Refused);
        // The pixels the runs leave are transparent, never uninitialised memory.
        QTest::newRow("run-length bmp ending early") << truncatedRle << int(Loaded);
    }

    void boundsMemoryOnHostileFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, expected);
        const QString path = bytes == kProbeSelfCheck
                                 ? QString::fromLatin1(kProbeSelfCheck)
                                 : writeFixture(m_dir.path(),
                                                QString::fromLatin1(QTest::currentDataTag())
                                                    .replace(QLatin1Char(' '), QLatin1Char('_')),
                                                bytes);
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
#if defined(__SANITIZE_ADDRESS__)
        // Any single request over 300 MiB aborts the child with a report.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           environment.value(QStringLiteral("ASAN_OPTIONS")) +
                               QStringLiteral(":max_allocation_size_mb=300"
                                              ":allocator_may_return_null=0"));
        child.setProcessEnvironment(environment);
#endif
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(kChildOption), path});
        QVERIFY(child.waitForFinished(30000));
        qInfo("%s", child.readAllStandardOutput().trimmed().constData());
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), expected);
    }

    void reportsFileErrors_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<platform::ErrorNumber>("number");
        QTest::newRow("missing file")
            << m_dir.filePath(QStringLiteral("none.png")) << platform::ErrorNumber::FileNotFound;
        QTest::newRow("folder") << m_dir.path() << platform::ErrorNumber::PathFileAccess;
        QTest::newRow("device") << QStringLiteral("/dev/zero")
                                << platform::ErrorNumber::PathFileAccess;
    }

    void reportsFileErrors()
    {
        QFETCH(QString, path);
        QFETCH(platform::ErrorNumber, number);
        try {
            kavelora::tests::resultOf(picture::LoadPicture(m_decoding, path, kPictureAreaPixels));
            QFAIL("loaded");
        } catch (const platform::RuntimeError& error) {
            QCOMPARE(error.errorNumber(), number);
        }
    }
};

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], kChildOption) == 0)
        return loadLimited(argc, argv);
    QApplication application(argc, argv);
    TstLoadPicture test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_load_picture.moc"
