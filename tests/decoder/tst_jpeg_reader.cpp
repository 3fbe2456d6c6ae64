// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The JPEG reader against Qt's own: every kind of JPEG decodes to the same pixels, size,
// format and colour space as QImageReader gives at the same scale, and what libjpeg cannot
// decode is refused.

#include "decoder/formats/jpeg/jpeg_reader.h"
#include "picture_fixtures.h"
#include "platform/runtime_error.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

using namespace kavelora;
using namespace kavelora::tests;

namespace {

// Smooth colour and fine detail, so that scaling and chroma subsampling both show.
QImage photoLike(QSize size, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int detail = ((x * 7 + y * 13) % 17) * 6;
            image.setPixel(x, y,
                           qRgb((x * 255 / size.width() + detail) % 256,
                                (y * 255 / size.height() + detail / 2) % 256,
                                (x + y + detail) % 256));
        }
    }
    return image.convertToFormat(format);
}

// A JPEG Qt cannot write: components given to libjpeg as input, stored as stored.
QByteArray libjpegFile(QSize size, int components, J_COLOR_SPACE input, J_COLOR_SPACE stored)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* output = nullptr;
    unsigned long outputBytes = 0;
    jpeg_mem_dest(&info, &output, &outputBytes);
    info.image_width = static_cast<JDIMENSION>(size.width());
    info.image_height = static_cast<JDIMENSION>(size.height());
    info.input_components = components;
    info.in_color_space = input;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, stored);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(size.width() * components));
    while (info.next_scanline < info.image_height) {
        const auto y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < size.width(); ++x) {
            for (int c = 0; c < components; ++c)
                row[static_cast<std::size_t>(x * components + c)] =
                    static_cast<JSAMPLE>((x * 255 / size.width() + y * 3 + c * 70) % 256);
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(output), static_cast<qsizetype>(outputBytes));
    std::free(output);
    jpeg_destroy_compress(&info);
    return bytes;
}

// What Qt's reader makes of bytes at 1/denominator, turned upright.
QImage decodedByQt(const QByteArray& bytes, int denominator)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (denominator > 1)
        reader.setScaledSize(QSize(size.width() / denominator, size.height() / denominator));
    return reader.read();
}

QImage decodedByUs(const QByteArray& bytes, int denominator)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader headers(&buffer, "jpeg");
    const QImageIOHandler::Transformations orientation = headers.transformation();
    // The reader starts from the beginning wherever the device stands: leave it mid-file.
    buffer.seek(buffer.size() / 2);
    return decoder::readJpeg(buffer, denominator, orientation);
}

} // namespace

class TstJpegReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesAsQtDoes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("denominator");
        // Sides divisible by 8, so that Qt's reader picks the same libjpeg scale.
        const QSize size(96, 64);
        const QByteArray colour = encoded(photoLike(size), "JPEG", 90);
        for (int denominator : {1, 2, 4, 8}) {
            QTest::addRow("colour, 1/%d", denominator) << colour << denominator;
            QTest::addRow("progressive, 1/%d", denominator)
                << encodedProgressive(photoLike(size)) << denominator;
        }
        const QByteArray grey = encoded(photoLike(size, QImage::Format_Grayscale8), "JPEG", 90);
        QTest::newRow("grey") << grey << 1;
        QTest::newRow("grey, 1/4") << grey << 4;
        for (J_COLOR_SPACE stored : {JCS_CMYK, JCS_YCCK}) {
            const QByteArray cmyk = libjpegFile(size, 4, JCS_CMYK, stored);
            const char* name = stored == JCS_CMYK ? "cmyk" : "ycck";
            QTest::addRow("%s", name) << cmyk << 1;
            QTest::addRow("%s, 1/2", name) << cmyk << 2;
        }
        QTest::newRow("rgb without subsampling") << libjpegFile(size, 3, JCS_RGB, JCS_RGB) << 2;
        for (int orientation = 1; orientation <= 8; ++orientation) {
            QTest::addRow("exif orientation %d", orientation)
                << withExifOrientation(colour, orientation) << 1;
            QTest::addRow("exif orientation %d, 1/2", orientation)
                << withExifOrientation(colour, orientation) << 2;
        }
        QImage wide = photoLike(size);
        wide.setColorSpace(QColorSpace::DisplayP3);
        QTest::newRow("colour profile") << encoded(wide, "JPEG", 90) << 2;
        // The rows past the end decode as libjpeg fills them, the same in both.
        QTest::newRow("cut short") << colour.left(colour.size() * 2 / 3) << 1;
        QTest::newRow("cut short, 1/4") << colour.left(colour.size() * 2 / 3) << 4;
        QTest::newRow("odd sides") << encoded(photoLike(QSize(97, 61)), "JPEG", 90) << 1;
    }

    void decodesAsQtDoes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, denominator);
        const QImage expected = decodedByQt(bytes, denominator);
        QVERIFY(!expected.isNull());

        const QImage image = decodedByUs(bytes, denominator);
        QCOMPARE(image.size(), expected.size());
        QCOMPARE(image.format(), expected.format());
        QCOMPARE(image.colorSpace(), expected.colorSpace());
        QCOMPARE(image, expected);
    }

    void keepsTheColourProfile()
    {
        QImage wide = photoLike(QSize(16, 16));
        wide.setColorSpace(QColorSpace::DisplayP3);
        const QByteArray bytes = encoded(wide, "JPEG", 90);
        QVERIFY(bytes.contains("ICC_PROFILE"));
        QCOMPARE(decodedByUs(bytes, 1).colorSpace(), QColorSpace(QColorSpace::DisplayP3));
    }

    void decodesFromAFile()
    {
        // Larger than one 64 KiB input block, so that the reads from the file carry on.
        const QByteArray bytes = encoded(noisePicture(QSize(400, 300), 12345), "JPEG", 100);
        QVERIFY(bytes.size() > 3 * 64 * 1024);
        QTemporaryFile file;
        QVERIFY(file.open());
        QCOMPARE(file.write(bytes), bytes.size());
        QCOMPARE(decoder::readJpeg(file, 2, {}), decodedByQt(bytes, 2));
    }

    void refusesWhatItCannotDecode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("denominator");
        QTest::addColumn<platform::ErrorNumber>("error");
        const auto invalid = platform::ErrorNumber::InvalidPicture;
        const QByteArray colour = encoded(photoLike(QSize(32, 32)), "JPEG", 90);
        QTest::newRow("empty") << QByteArray() << 1 << invalid;
        QTest::newRow("not a jpeg") << encoded(photoLike(QSize(32, 32)), "PNG") << 1 << invalid;
        QTest::newRow("cut inside the headers") << colour.left(40) << 1 << invalid;
        QByteArray bogusTable = colour;
        const qsizetype table = bogusTable.indexOf("\xFF\xC4");
        QVERIFY(table > 0);
        // Code counts adding up to far more codes than the table holds.
        bogusTable.replace(table + 5, 16, QByteArray(16, '\xFF'));
        QTest::newRow("bogus huffman table") << bogusTable << 1 << invalid;
        QTest::newRow("two components, no colour conversion")
            << libjpegFile(QSize(16, 16), 2, JCS_UNKNOWN, JCS_UNKNOWN) << 1 << invalid;
        // Buffered whole, even when decoded at 1/8: 2.7 GB of coefficients.
        QTest::newRow("progressive claiming 30000 x 30000")
            << claimingSide(encodedProgressive(photoLike(QSize(96, 64))), "\xFF\xC2", 30000) << 8
            << platform::ErrorNumber::OutOfMemory;
    }

    void refusesWhatItCannotDecode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, denominator);
        QFETCH(platform::ErrorNumber, error);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        try {
            decoder::readJpeg(buffer, denominator, {});
            QFAIL("decoded a file it should refuse");
        } catch (const platform::RuntimeError& raised) {
            QCOMPARE(raised.errorNumber(), error);
        }
    }
};

QTEST_GUILESS_MAIN(TstJpegReader)
#include "tst_jpeg_reader.moc"
