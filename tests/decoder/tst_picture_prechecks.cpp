// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The loader's checks that run before a decoder sees the bytes: here the memory a JPEG coded
// in several scans makes the decoder hold, which no reduced-scale decode can lower.

#include "decoder/common/codec_decode_fits.h"
#include "decoder/format_table.h"
#include "decoder/formats/bmp/bmp_head_check.h"
#include "decoder/formats/jpeg/jpeg_head_check.h"
#include "decoder/picture_decoder.h"
#include "picture_fixtures.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <QTest>

using namespace kavelora;
using namespace kavelora::tests;

namespace {

const QSize kSize(64, 48);

QByteArray progressiveJpeg(QSize size)
{
    return encodedProgressive(twoHalves(size, qRgb(255, 0, 0), qRgb(0, 0, 255)));
}

// jpeg with its first scan cut down to the first of its components, as a picture coded one
// component per scan begins. Only the scan header changes; the coded data is left as it was.
QByteArray firstScanOfOneComponent(const QByteArray& jpeg)
{
    const qsizetype scan = jpeg.indexOf("\xFF\xDA");
    const int length = (static_cast<unsigned char>(jpeg[scan + 2]) << 8) |
                       static_cast<unsigned char>(jpeg[scan + 3]);
    const QByteArray header = QByteArray::fromHex("FFDA000801") + jpeg.mid(scan + 5, 2) +
                              jpeg.mid(scan + 2 + length - 3, 3);
    return jpeg.left(scan) + header + jpeg.mid(scan + 2 + length);
}

// Blocks of a 4:2:0 picture: luma in 16 x 16 units, each chroma plane a quarter of the luma
// area; 128 bytes of coefficients per 8 x 8 block.
qint64 bytesFor420(QSize size)
{
    const qint64 unitsAcross = (size.width() + 15) / 16;
    const qint64 unitsDown = (size.height() + 15) / 16;
    return unitsAcross * unitsDown * (4 + 1 + 1) * 128;
}

} // namespace

class TstPicturePrechecks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(progressiveJpeg(kSize).contains("\xFF\xC2"));
        QVERIFY(encoded(twoHalves(kSize, qRgb(255, 0, 0), qRgb(0, 0, 255)), "JPEG", 90)
                    .contains("\xFF\xC0"));
    }

    // The buffers are measured against the limit: a 4:2:0 picture of 9456 x 9456 pixels
    // (591 x 591 units of 16 x 16) just fits, one pixel more on each side takes a further
    // unit and does not. A JPEG decoded a row of blocks at a time fits at any size.
    void measuresMultiScanJpegs_data()
    {
        using decoder::HeadCheck;
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<HeadCheck>("expected");
        constexpr int kFittingSide = 9456;
        QVERIFY(bytesFor420(QSize(kFittingSide, kFittingSide)) <=
                protocol::kMaxJpegCoefficientBytes);
        QVERIFY(bytesFor420(QSize(kFittingSide + 1, kFittingSide + 1)) >
                protocol::kMaxJpegCoefficientBytes);
        const QByteArray baseline =
            encoded(twoHalves(kSize, qRgb(255, 0, 0), qRgb(0, 0, 255)), "JPEG", 90);
        const QByteArray progressive = progressiveJpeg(kSize);
        // The decoder decides from the first scan: one holding every component is decoded a
        // row of blocks at a time, whatever follows it.
        const qsizetype scan = baseline.indexOf("\xFF\xDA");
        const qsizetype end = baseline.lastIndexOf("\xFF\xD9");
        QByteArray twoScans = baseline.left(end) + baseline.mid(scan, end - scan) + "\xFF\xD9";
        const QByteArray oneComponentFirst = firstScanOfOneComponent(baseline);
        const auto baselineClaiming = [](const QByteArray& jpeg, int side) {
            return claimingSide(jpeg, "\xFF\xC0", side);
        };
        const auto progressiveClaiming = [](const QByteArray& jpeg, int side) {
            return claimingSide(jpeg, "\xFF\xC2", side);
        };

        QTest::newRow("baseline, one scan, 30000 x 30000")
            << baselineClaiming(baseline, 30000) << HeadCheck::Passes;
        QTest::newRow("baseline, a second scan after a whole one, 30000 x 30000")
            << baselineClaiming(twoScans, 30000) << HeadCheck::Passes;
        QTest::newRow("baseline, first scan of one component, just fitting")
            << baselineClaiming(oneComponentFirst, kFittingSide) << HeadCheck::Passes;
        QTest::newRow("baseline, first scan of one component, one unit over")
            << baselineClaiming(oneComponentFirst, kFittingSide + 1) << HeadCheck::Fails;
        QTest::newRow("progressive, small") << progressive << HeadCheck::Passes;
        QTest::newRow("progressive, just fitting")
            << progressiveClaiming(progressive, kFittingSide) << HeadCheck::Passes;
        QTest::newRow("progressive, one unit over")
            << progressiveClaiming(progressive, kFittingSide + 1) << HeadCheck::Fails;
        QTest::newRow("progressive, 30000 x 30000")
            << progressiveClaiming(progressive, 30000) << HeadCheck::Fails;
        // The decoder passes over stray bytes, a stuffed zero among them, to the next marker.
        const qsizetype frame = progressive.indexOf("\xFF\xC2");
        const QByteArray huge = progressiveClaiming(progressive, 30000);
        QTest::newRow("progressive, stray bytes before the frame")
            << huge.left(frame) + QByteArray("\x14\xFF\x00\x03", 4) + huge.mid(frame)
            << HeadCheck::Fails;
        QTest::newRow("progressive, stray bytes before the scan")
            << QByteArray(huge).insert(huge.indexOf("\xFF\xDA"), QByteArray("\xFF\x00\xFF\xFF", 4))
            << HeadCheck::Fails;
        QTest::newRow("cut off before the frame header")
            << progressive.left(20) << HeadCheck::Passes;
        QTest::newRow("frame header cut short")
            << progressive.left(progressive.indexOf("\xFF\xC2") + 9) << HeadCheck::Passes;
        QTest::newRow("only a start marker") << QByteArray("\xFF\xD8\xFF", 3) << HeadCheck::Passes;
    }

    void measuresMultiScanJpegs()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(decoder::HeadCheck, expected);
        QVERIFY(!bytes.isEmpty());
        // The bytes are the whole file.
        QCOMPARE(decoder::jpegCoefficientsFit(bytes, bytes.size()), expected);
    }

    void sniffsByContent_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("format");
        const auto ftyp = [](const char* brands) {
            const QByteArray names(brands);
            QByteArray box(4, '\0');
            box[3] = static_cast<char>(8 + names.size());
            return box + "ftyp" + names;
        };
        // Each list is the major brand, a minor version and the compatible brands.
        QTest::newRow("HEIC photo") << ftyp("heic0000mif1heic") << QByteArray("heif");
        QTest::newRow("HEIF sequence") << ftyp("msf10000msf1") << QByteArray("heif");
        QTest::newRow("AVIF telling itself a HEIF too")
            << ftyp("avif0000avifmif1miaf") << QByteArray("avif");
        QTest::newRow("AVIF named only among compatible brands")
            << ftyp("mif10000mif1avif") << QByteArray("avif");
        QTest::newRow("animated AVIF") << ftyp("avis0000avismsf1") << QByteArray("avif");
        QTest::newRow("a brand past the box is not read")
            << ftyp("mif10000mif1").append("avif") << QByteArray("heif");
        QTest::newRow("MP4 video is not a picture") << ftyp("isom0000isomavc1") << QByteArray();
        QTest::newRow("JPEG XL codestream")
            << QByteArray("\xFF\x0A\xFA\x7F", 4) << QByteArray("jxl");
        QTest::newRow("JPEG XL container")
            << QByteArray("\0\0\0\x0CJXL \x0D\x0A\x87\x0A\0\0\0\x14", 16) << QByteArray("jxl");
        QTest::newRow("a JPEG stays a JPEG")
            << QByteArray("\xFF\xD8\xFF\xE0", 4) << QByteArray("jpeg");
    }

    void sniffsByContent()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, format);
        QCOMPARE(decoder::sniffPictureFormat(head), format);
    }

    void decodeSizeLimits_data()
    {
        QTest::addColumn<qint64>("width");
        QTest::addColumn<qint64>("height");
        QTest::addColumn<int>("bits");
        QTest::addColumn<bool>("alpha");
        QTest::addColumn<bool>("fits");
        QTest::newRow("12 MP photo") << 4000LL << 3000LL << 8 << false << true;
        QTest::newRow("the pixel cap exactly") << 8192LL << 8192LL << 8 << false << true;
        QTest::newRow("one row over the pixel cap") << 8192LL << 8193LL << 8 << false << false;
        QTest::newRow("a side past the codec limit") << 70000LL << 10LL << 8 << false << false;
        QTest::newRow("deep with alpha at the cap, over memory")
            << 8192LL << 8192LL << 12 << true << false;
        QTest::newRow("deep without alpha, samples over one buffer's limit")
            << 7000LL << 7000LL << 10 << false << false;
        QTest::newRow("deep 36 MP photo without alpha") << 7000LL << 5000LL << 10 << false << true;
        QTest::newRow("no pixels") << 0LL << 100LL << 8 << false << false;
    }

    void decodeSizeLimits()
    {
        QFETCH(qint64, width);
        QFETCH(qint64, height);
        QFETCH(int, bits);
        QFETCH(bool, alpha);
        QFETCH(bool, fits);
        QCOMPARE(decoder::codecDecodeFits(width, height, bits, alpha), fits);
    }

    void checksBmpPixelsFitFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("fits");
        const QByteArray bmp = encoded(
            twoHalves(kSize, qRgb(255, 0, 0), qRgb(0, 0, 255), QImage::Format_RGB888), "BMP");
        const auto with = [&bmp](qsizetype at, const QByteArray& littleEndian) {
            QByteArray changed = bmp;
            changed.replace(at, littleEndian.size(), littleEndian);
            return changed;
        };
        QTest::newRow("whole file") << bmp << true;
        QTest::newRow("last row cut short") << bmp.left(bmp.size() - 1) << false;
        QTest::newRow("top-down rows") << with(22, QByteArray::fromHex("d0ffffff")) << true;
        // Rows of width x bits that, times the height, overflow 64 bits unless checked first.
        QTest::newRow("widest rows") << with(18, QByteArray::fromHex("ffffff7f")) << false;
        QTest::newRow("widest rows of the deepest pixels, tallest picture")
            << with(18, QByteArray::fromHex("ffffff7f00000080")).replace(28, 2, "\xFF\xFF")
            << false;
        QTest::newRow("info header of 4 GiB") << with(14, QByteArray::fromHex("ffffffff")) << false;
        // Rows of 3 x 3 bytes, each padded to 12: a file of 9-byte rows is short.
        const QByteArray oddWidth = encoded(
            twoHalves(QSize(3, 4), qRgb(255, 0, 0), qRgb(0, 0, 255), QImage::Format_RGB888), "BMP");
        QTest::newRow("odd width, rows padded to 4 bytes") << oddWidth << true;
        QTest::newRow("odd width, file holding only the unpadded rows")
            << oddWidth.left(oddWidth.size() - 4 * 3) << false;
    }

    void checksBmpPixelsFitFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, fits);
        QCOMPARE(decoder::bmpPixelsFitFile(bytes, bytes.size()) == decoder::HeadCheck::Passes,
                 fits);
    }

    // A large file is checked from its first bytes and its size, and read whole only when
    // the checks reach past them.
    void checksFromTheHead_data()
    {
        using decoder::HeadCheck;
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<qint64>("fileSize");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<HeadCheck>("expected");

        const QByteArray png = encoded(twoHalves(kSize, qRgb(255, 0, 0), qRgb(0, 0, 255)), "PNG");
        const qsizetype imageData = png.indexOf("IDAT") - 4;
        const QByteArray beforeImageData = png.left(imageData);
        const QByteArray text =
            pngChunk("tEXt", "Comment" + QByteArray(1, '\0') + QByteArray(4000, 'x'));
        const QByteArray withText = beforeImageData + text + png.mid(imageData);
        const QByteArray lyingText =
            beforeImageData + QByteArray::fromHex("00100000") + "tEXt" + "Comment";

        const QByteArray bmp = encoded(
            twoHalves(kSize, qRgb(255, 0, 0), qRgb(0, 0, 255), QImage::Format_RGB888), "BMP");
        QByteArray runLength = bmp.left(54);
        runLength[30] = 1;
        runLength[28] = 8;

        QTest::newRow("png, image data within the head")
            << png.left(imageData + 8) << qint64(10'000'000) << QByteArray("png")
            << HeadCheck::Passes;
        QTest::newRow("png, a text chunk running past the head")
            << withText.left(imageData + 100) << qint64(withText.size()) << QByteArray("png")
            << HeadCheck::NeedsWholeFile;
        QTest::newRow("png, the whole file with that text chunk")
            << withText << qint64(withText.size()) << QByteArray("png") << HeadCheck::Passes;
        QTest::newRow("png, a chunk claiming 1 MiB of a smaller file")
            << lyingText << qint64(lyingText.size() + 1000) << QByteArray("png")
            << HeadCheck::Fails;
        QTest::newRow("png, a chunk claiming 1 MiB of a larger file")
            << lyingText << qint64(2'000'000) << QByteArray("png") << HeadCheck::NeedsWholeFile;
        QTest::newRow("bmp, header only, pixels within the file")
            << bmp.left(54) << qint64(bmp.size()) << QByteArray("bmp") << HeadCheck::Passes;
        QTest::newRow("bmp, header only, file a byte short")
            << bmp.left(54) << qint64(bmp.size() - 1) << QByteArray("bmp") << HeadCheck::Fails;
        QTest::newRow("bmp, run-length coded, header only")
            << runLength << qint64(1'000'000) << QByteArray("bmp") << HeadCheck::NeedsWholeFile;
        QTest::newRow("tiff, nothing to check") << QByteArray("II*\0", 4) << qint64(1'000'000)
                                                << QByteArray("tiff") << HeadCheck::Passes;
    }

    void checksFromTheHead()
    {
        QFETCH(QByteArray, head);
        QFETCH(qint64, fileSize);
        QFETCH(QByteArray, format);
        QFETCH(decoder::HeadCheck, expected);
        const decoder::PictureFormat* row = decoder::formatNamed(format.toStdString());
        QVERIFY(row);
        QCOMPARE(row->checkHead ? row->checkHead(head, fileSize) : decoder::HeadCheck::Passes,
                 expected);
    }

    void checksJpegBuffersFromTheHead_data()
    {
        using decoder::HeadCheck;
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<qint64>("fileSize");
        QTest::addColumn<HeadCheck>("expected");

        const QByteArray baseline =
            encoded(twoHalves(kSize, qRgb(255, 0, 0), qRgb(0, 0, 255)), "JPEG", 90);
        const QByteArray progressive = progressiveJpeg(kSize);
        const QByteArray huge = claimingSide(progressive, "\xFF\xC2", 30000);
        const qsizetype scan = baseline.indexOf("\xFF\xDA");
        // A comment segment as long as a camera's metadata pushes the first scan further in.
        QByteArray comment = QByteArray::fromHex("FFFEFFFF") + QByteArray(0xFFFD, 'x');
        const QByteArray commented = baseline.left(2) + comment + baseline.mid(2);

        QTest::newRow("baseline, first scan within the head")
            << baseline.left(scan + 16) << qint64(50'000'000) << HeadCheck::Passes;
        QTest::newRow("progressive, small")
            << progressive.left(progressive.indexOf("\xFF\xDA") + 16) << qint64(50'000'000)
            << HeadCheck::Passes;
        QTest::newRow("progressive claiming 30000 x 30000")
            << huge.left(huge.indexOf("\xFF\xDA") + 16) << qint64(50'000'000) << HeadCheck::Fails;
        QTest::newRow("first scan past the head")
            << commented.left(0x10000) << qint64(commented.size()) << HeadCheck::NeedsWholeFile;
        QTest::newRow("first scan header cut at the head's end")
            << baseline.left(scan + 4) << qint64(baseline.size()) << HeadCheck::NeedsWholeFile;
        QTest::newRow("whole file without a scan")
            << baseline.left(scan) << qint64(scan) << HeadCheck::Passes;
    }

    void checksJpegBuffersFromTheHead()
    {
        QFETCH(QByteArray, head);
        QFETCH(qint64, fileSize);
        QFETCH(decoder::HeadCheck, expected);
        QCOMPARE(decoder::jpegCoefficientsFit(head, fileSize), expected);
    }

    void loadsSmallProgressiveJpeg()
    {
        const decoder::DecodedPicture decoded =
            decoder::decodePicture(progressiveJpeg(kSize), QSize(800, 600));
        QCOMPARE(decoded.ownSize, kSize);
        QCOMPARE(decoded.image.size(), kSize);
    }

    void refusesProgressiveJpegTooLargeToBuffer_data()
    {
        QTest::addColumn<int>("side");
        QTest::addColumn<bool>("refused");
        // 9000 x 9000 in 4:2:0 needs 243 MB of coefficients, 9500 x 9500 needs 271 MB.
        QTest::newRow("just under the limit") << 9000 << false;
        QTest::newRow("just over the limit") << 9500 << true;
        QTest::newRow("30000 x 30000") << 30000 << true;
    }

    void refusesProgressiveJpegTooLargeToBuffer()
    {
        QFETCH(int, side);
        QFETCH(bool, refused);
        QCOMPARE(bytesFor420(QSize(side, side)) > protocol::kMaxJpegCoefficientBytes, refused);
        const QByteArray bytes = claimingSide(progressiveJpeg(kSize), "\xFF\xC2", side);
        if (!refused) {
            // The decoder runs; the scans' missing data decodes as grey.
            const decoder::DecodedPicture decoded = decoder::decodePicture(bytes, QSize(800, 600));
            QCOMPARE(decoded.ownSize, QSize(side, side));
            return;
        }
        try {
            decoder::decodePicture(bytes, QSize(800, 600));
            QFAIL("decoded a picture too large to buffer");
        } catch (const platform::RuntimeError& error) {
            QCOMPARE(error.errorNumber(), platform::ErrorNumber::OutOfMemory);
        }
    }
};

QTEST_GUILESS_MAIN(TstPicturePrechecks)
#include "tst_picture_prechecks.moc"
