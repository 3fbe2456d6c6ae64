// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The JPEG reader's own ways: it reads from the start wherever the device stands, keeps the
// colour profile, reads a file in blocks, and refuses what is not a JPEG. Every kind of JPEG
// decoded as Qt's reader decodes it, whole and scaled, is in tst_reader_contract.

#include "codec_samples.h"
#include "decoder/formats/jpeg/jpeg_reader.h"
#include "picture_fixtures.h"
#include "platform/runtime_error.h"
#include "qt_reference.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QTemporaryFile>
#include <QTest>

using namespace kavelora;
using namespace kavelora::tests;

namespace {

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
    void keepsTheColourProfile()
    {
        QImage wide = detailedPhoto(QSize(16, 16));
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
        QCOMPARE(decoder::readJpeg(file, 2, {}), decodedByQt(bytes, "jpeg", 2));
    }

    void refusesWhatItCannotDecode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("denominator");
        QTest::addColumn<platform::ErrorNumber>("error");
        const auto invalid = platform::ErrorNumber::InvalidPicture;
        QTest::newRow("empty") << QByteArray() << 1 << invalid;
        QTest::newRow("not a jpeg") << encoded(detailedPhoto(QSize(32, 32)), "PNG") << 1 << invalid;
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
