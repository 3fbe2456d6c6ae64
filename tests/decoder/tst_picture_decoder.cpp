// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// What the decoder hands on: the pixels land in the memory the caller's allocator gives, which
// the helper lends the viewer, and the picture's own size is the size decoded. (What every
// reader promises is tested format by format in tst_reader_contract.)

#include "decoder/picture_decoder.h"
#include "picture_fixtures.h"
#include "tool_encodings.h"

#include <QTemporaryDir>

#include <QTest>

#include <algorithm>
#include <vector>

using namespace kavelora;
using namespace kavelora::tests;

class TstPictureDecoder : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;

private Q_SLOTS:
    void decodesIntoTheAllocatorsMemory_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("cover");
        QTest::addColumn<QByteArray>("format");
        const QImage picture = noisePicture(QSize(64, 48), 7);
        const QByteArray runLength = bmpFile(40, 2, 2, 8, 1, {}, QByteArray::fromHex("0000ff00"),
                                             QByteArray::fromHex("0200 0000 0200 0001"));
        QTest::newRow("png, whole")
            << encoded(picture, "PNG") << QSize(800, 600) << QByteArray("png");
        QTest::newRow("png, reduced by its reader")
            << encoded(picture, "PNG") << QSize(16, 12) << QByteArray("png");
        QTest::newRow("jpeg, scaled by libjpeg")
            << encoded(picture, "JPEG") << QSize(16, 12) << QByteArray("jpeg");
        QTest::newRow("tiff") << encoded(picture, "TIFF") << QSize(800, 600) << QByteArray("tiff");
        QTest::newRow("webp") << encoded(picture, "WEBP") << QSize(800, 600) << QByteArray("webp");
        QTest::newRow("bmp, through Qt's reader")
            << encoded(picture, "BMP") << QSize(800, 600) << QByteArray("bmp");
        QTest::newRow("bmp, run-length coded") << runLength << QSize(800, 600) << QByteArray("bmp");
        QTest::newRow("still gif") << gifFile(QSize(4, 2), {qRgb(255, 0, 0), qRgb(0, 0, 255)},
                                              {QByteArray::fromHex("0001 0001 0100 0100")})
                                   << QSize(800, 600) << QByteArray("gif");
        // The codec libraries' pictures, converted to sRGB into the memory lent.
        for (const char* format : {"heif", "avif", "jxl"}) {
            const QString name = QString::fromLatin1(format);
            QTest::newRow(format) << encodedByTool(name, picture, losslessOptions(name),
                                                   m_folder.path())
                                  << QSize(800, 600) << QByteArray(format);
        }
    }

    void decodesIntoTheAllocatorsMemory()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, cover);
        QFETCH(QByteArray, format);
        if (bytes.isEmpty())
            QSKIP("the encoder is not installed");
        // Memory the image does not own, as the helper's shared buffers are.
        std::vector<std::vector<uchar>> lent;
        const auto lend = [&](QSize size, QImage::Format pixels) {
            const qsizetype rowBytes =
                (size.width() * QImage::toPixelFormat(pixels).bitsPerPixel() / 8 + 3) &
                ~qsizetype(3);
            lent.emplace_back(static_cast<std::size_t>(rowBytes * size.height()));
            return QImage(lent.back().data(), size.width(), size.height(), rowBytes, pixels);
        };
        const decoder::DecodedPicture decoded = decoder::decodePicture(bytes, cover, {}, lend);
        QCOMPARE(decoded.format, format);
        QVERIFY(!decoded.image.isNull());
        const bool inLentMemory =
            std::any_of(lent.begin(), lent.end(), [&](const std::vector<uchar>& buffer) {
                return buffer.data() == decoded.image.constBits();
            });
        QVERIFY2(inLentMemory, "the pixels were copied out of the memory the allocator gave");
    }

    // Qt's GIF reader tells the first image's size, which may be empty or smaller than the
    // screen, but decodes the whole screen: the picture's own size, on which printing and
    // resizing depend, is what was decoded.
    void ownSizeIsWhatQtDecoded_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty first image on a 17-pixel-wide screen")
            << QByteArray::fromBase64("R0lGODlhEQAI/fAAAAD/AAP+BywAAAAAAQAAAAAAAAByU4VSAAA7");
        QTest::newRow("24 x 16 first image on a 24 x 8208 screen") << QByteArray::fromBase64(
            "R0lGODlhGAAQIPEAAP8AAAAA/wDIAAAAACH5BAUFAAMALAAAAAAYABAAAALZBAgQYcKEEiVq3LgRIECECRNK"
            "lKhx40Z4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4"
            "eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4"
            "eHh4eHiAABEmTChRosaNGwECRJgwoUSJGjduBAgQaty4ESBAhAkTSpSoceNGgAARJkwoUaLGjRsBAkSYMKFE"
            "iRo3bgQIEGHChBIlaty4ESBAhAkTSpSoceNGgAARJkwoUaLGjRsBAkSYMKFEiRo3bgQIEGHChBIlaty4ESBA"
            "hAkTSpSocSdGgAARJkwoUaLGjRsBAgUAOw==");
    }

    void ownSizeIsWhatQtDecoded()
    {
        QFETCH(QByteArray, bytes);
        const decoder::DecodedPicture decoded = decoder::decodePicture(bytes, QSize(800, 600));
        QVERIFY(!decoded.image.isNull());
        QVERIFY(!decoded.ownSize.isEmpty());
        QCOMPARE(decoded.ownSize, decoded.image.size());
    }
};

QTEST_GUILESS_MAIN(TstPictureDecoder)
#include "tst_picture_decoder.moc"
