// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// YCbCr samples of known colours, in each matrix, range, bit depth and chroma format, turned
// into RGB; chroma taken from the right sample; hvcC bodies checked before use.

#include "decoder/formats/heif/hevc_decoder.h"
#include "decoder/formats/heif/ycbcr_rows.h"
#include "platform/runtime_error.h"

#include <QTest>

#include <cstring>
#include <vector>

using kavelora::decoder::heif::ChromaFormat;
using kavelora::decoder::heif::YCbCrCoding;
using kavelora::decoder::heif::YCbCrPlanes;
using kavelora::decoder::heif::YCbCrRows;

Q_DECLARE_METATYPE(ChromaFormat)

namespace {

constexpr QSize kSize(4, 4);

// Three planes of one value each, 8-bit bytes or 16-bit words.
class UniformPlanes
{
public:
    UniformPlanes(ChromaFormat chroma, int bits, std::array<int, 3> values)
    {
        const int bytes = bits > 8 ? 2 : 1;
        for (std::size_t plane = 0; plane < 3; ++plane) {
            m_storage[plane].resize(
                static_cast<std::size_t>(kSize.width() * kSize.height() * bytes));
            for (std::size_t i = 0; i < m_storage[plane].size() / static_cast<std::size_t>(bytes);
                 ++i) {
                const auto value = static_cast<quint16>(values[plane]);
                std::memcpy(m_storage[plane].data() + i * static_cast<std::size_t>(bytes), &value,
                            static_cast<std::size_t>(bytes));
            }
            planes.planes[plane] = m_storage[plane].data();
            planes.bytesPerLine[plane] = kSize.width() * bytes;
        }
        planes.size = kSize;
        planes.chroma = chroma;
        planes.lumaBits = bits;
        planes.chromaBits = bits;
    }

    YCbCrPlanes planes;

private:
    std::array<std::vector<uchar>, 3> m_storage;
};

bool near(int value, int expected, int tolerance)
{
    return qAbs(value - expected) <= tolerance;
}

} // namespace

class YCbCrRowsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void knownColours_data()
    {
        QTest::addColumn<ChromaFormat>("chroma");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("matrix");
        QTest::addColumn<bool>("fullRange");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("cb");
        QTest::addColumn<int>("cr");
        QTest::addColumn<QRgb>("expected");
        constexpr auto c420 = ChromaFormat::Yuv420;
        QTest::newRow("full range white")
            << c420 << 8 << 6 << true << 255 << 128 << 128 << qRgb(255, 255, 255);
        QTest::newRow("limited range black")
            << c420 << 8 << 1 << false << 16 << 128 << 128 << qRgb(0, 0, 0);
        QTest::newRow("limited range white")
            << c420 << 8 << 1 << false << 235 << 128 << 128 << qRgb(255, 255, 255);
        QTest::newRow("limited range below black clamps")
            << c420 << 8 << 1 << false << 0 << 128 << 128 << qRgb(0, 0, 0);
        QTest::newRow("BT.709 limited red")
            << c420 << 8 << 1 << false << 63 << 102 << 240 << qRgb(255, 0, 0);
        QTest::newRow("BT.709 limited blue")
            << c420 << 8 << 1 << false << 32 << 240 << 118 << qRgb(0, 0, 255);
        QTest::newRow("BT.601 full red")
            << c420 << 8 << 6 << true << 76 << 85 << 255 << qRgb(255, 0, 0);
        QTest::newRow("BT.601 full green")
            << c420 << 8 << 5 << true << 150 << 44 << 21 << qRgb(0, 255, 0);
        QTest::newRow("unknown matrix reads as BT.601")
            << c420 << 8 << 2 << true << 76 << 85 << 255 << qRgb(255, 0, 0);
        QTest::newRow("BT.2020 full 10-bit red")
            << c420 << 10 << 9 << true << 269 << 369 << 1023 << qRgb(255, 0, 0);
        QTest::newRow("10-bit limited white")
            << c420 << 10 << 1 << false << 940 << 512 << 512 << qRgb(255, 255, 255);
        QTest::newRow("10-bit limited grey")
            << c420 << 10 << 1 << false << 502 << 512 << 512 << qRgb(128, 128, 128);
        QTest::newRow("12-bit full grey")
            << c420 << 12 << 6 << true << 2048 << 2048 << 2048 << qRgb(128, 128, 128);
        QTest::newRow("identity matrix is GBR")
            << ChromaFormat::Yuv444 << 8 << 0 << true << 200 << 30 << 90 << qRgb(90, 200, 30);
        QTest::newRow("identity matrix limited")
            << ChromaFormat::Yuv444 << 8 << 0 << false << 235 << 16 << 126 << qRgb(128, 255, 0);
        QTest::newRow("monochrome ignores chroma")
            << ChromaFormat::Monochrome << 8 << 6 << true << 100 << 0 << 255 << qRgb(100, 100, 100);
        QTest::newRow("4:2:2 red")
            << ChromaFormat::Yuv422 << 8 << 6 << true << 76 << 85 << 255 << qRgb(255, 0, 0);
    }

    void knownColours()
    {
        QFETCH(ChromaFormat, chroma);
        QFETCH(int, bits);
        QFETCH(int, matrix);
        QFETCH(bool, fullRange);
        QFETCH(int, y);
        QFETCH(int, cb);
        QFETCH(int, cr);
        QFETCH(QRgb, expected);
        const UniformPlanes uniform(chroma, bits, {y, cb, cr});
        const YCbCrRows rows(uniform.planes, YCbCrCoding{matrix, fullRange});
        std::vector<QRgb> words(kSize.width());
        std::vector<quint16> wide(static_cast<std::size_t>(kSize.width()) * 3);
        std::vector<uchar> narrow(static_cast<std::size_t>(kSize.width()) * 3);
        for (int row = 0; row < kSize.height(); ++row) {
            rows.toWords(row, 0, kSize.width(), words.data());
            rows.toSamples16(row, 0, kSize.width(), wide.data());
            rows.toSamples8(row, 0, kSize.width(), narrow.data());
            for (int x = 0; x < kSize.width(); ++x) {
                const QRgb word = words[static_cast<std::size_t>(x)];
                QVERIFY2(near(qRed(word), qRed(expected), 2) &&
                             near(qGreen(word), qGreen(expected), 2) &&
                             near(qBlue(word), qBlue(expected), 2) && qAlpha(word) == 255,
                         qPrintable(QString::number(word, 16)));
                const std::array<int, 3> channels{qRed(expected), qGreen(expected),
                                                  qBlue(expected)};
                for (std::size_t c = 0; c < 3; ++c) {
                    const std::size_t at = static_cast<std::size_t>(x) * 3 + c;
                    QVERIFY(near(wide[at], channels[c] * 257, 2 * 257));
                    QVERIFY(near(narrow[at], channels[c], 2));
                }
            }
        }
    }

    void chromaComesFromTheSampleCovering_data()
    {
        QTest::addColumn<ChromaFormat>("chroma");
        QTest::addColumn<int>("shiftX");
        QTest::addColumn<int>("shiftY");
        QTest::newRow("4:2:0 halves both ways") << ChromaFormat::Yuv420 << 1 << 1;
        QTest::newRow("4:2:2 halves across") << ChromaFormat::Yuv422 << 1 << 0;
        QTest::newRow("4:4:4 one each") << ChromaFormat::Yuv444 << 0 << 0;
    }

    void chromaComesFromTheSampleCovering()
    {
        QFETCH(ChromaFormat, chroma);
        QFETCH(int, shiftX);
        QFETCH(int, shiftY);
        // Identity coding: red is Cr and blue Cb, each chroma sample numbered by its place.
        UniformPlanes numbered(chroma, 8, {0, 0, 0});
        std::array<uchar, 16> blue{}, red{};
        for (int i = 0; i < 16; ++i) {
            blue[static_cast<std::size_t>(i)] = static_cast<uchar>(10 * (i % 4));
            red[static_cast<std::size_t>(i)] = static_cast<uchar>(10 * (i / 4));
        }
        numbered.planes.planes[1] = blue.data();
        numbered.planes.planes[2] = red.data();
        const YCbCrRows rows(numbered.planes, YCbCrCoding{0, true});
        std::vector<QRgb> words(3);
        for (int y = 0; y < kSize.height(); ++y) {
            rows.toWords(y, 1, 3, words.data());
            for (int x = 1; x < kSize.width(); ++x) {
                const QRgb word = words[static_cast<std::size_t>(x - 1)];
                QCOMPARE(qBlue(word), 10 * (x >> shiftX));
                QCOMPARE(qRed(word), 10 * (y >> shiftY));
            }
        }
    }

    void alphaPlaneBecomesGrey_data()
    {
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("8-bit opaque") << 8 << 255 << 255;
        QTest::newRow("8-bit half") << 8 << 128 << 128;
        QTest::newRow("10-bit opaque") << 10 << 1023 << 255;
        QTest::newRow("10-bit half") << 10 << 512 << 128;
        QTest::newRow("12-bit clear") << 12 << 0 << 0;
        QTest::newRow("10-bit past the depth clamps") << 10 << 4000 << 255;
    }

    void alphaPlaneBecomesGrey()
    {
        QFETCH(int, bits);
        QFETCH(int, value);
        QFETCH(int, expected);
        const UniformPlanes uniform(ChromaFormat::Monochrome, bits, {value, 0, 0});
        const YCbCrRows rows(uniform.planes, YCbCrCoding{6, false});
        std::array<uchar, 4> grey{};
        rows.toGray(2, 0, 4, grey.data());
        for (const uchar sample : grey)
            QCOMPARE(int(sample), expected);
    }

    void brokenConfigurationIsRefused_data()
    {
        QTest::addColumn<QByteArray>("body");
        QByteArray valid(23, '\0');
        valid[21] = 3;
        valid[22] = 1;
        // One array of one three-byte unit.
        valid += QByteArray::fromHex("a000010003112233");
        QTest::newRow("shorter than its fixed part") << QByteArray(22, '\0');
        QByteArray threeByteLengths = valid;
        threeByteLengths[21] = 2;
        QTest::newRow("three-byte lengths") << threeByteLengths;
        QByteArray moreArrays = valid;
        moreArrays[22] = 2;
        QTest::newRow("more arrays than bytes") << moreArrays;
        QTest::newRow("unit past the end") << valid.left(valid.size() - 1);
        QByteArray emptyUnit = valid;
        emptyUnit[26] = 0;
        emptyUnit[27] = 0;
        QTest::newRow("empty unit") << emptyUnit.left(28);
    }

    void brokenConfigurationIsRefused()
    {
        QFETCH(QByteArray, body);
        QVERIFY_THROWS_EXCEPTION(kavelora::platform::RuntimeError,
                                 kavelora::decoder::heif::parseHevcConfiguration(body));
    }

    void configurationIsRead()
    {
        QByteArray body(23, '\0');
        body[16] = char(0xfc | 3);
        body[17] = char(0xf8 | 2);
        body[18] = char(0xf8 | 2);
        body[21] = 1;
        body[22] = 1;
        body += QByteArray::fromHex("a00002000211220001ff");
        const auto configuration = kavelora::decoder::heif::parseHevcConfiguration(body);
        QCOMPARE(configuration.lengthBytes, 2);
        QCOMPARE(configuration.chroma, ChromaFormat::Yuv444);
        QCOMPARE(configuration.lumaBits, 10);
        QCOMPARE(configuration.parameterSets.size(), std::size_t{2});
        QCOMPARE(configuration.parameterSets[0], QByteArrayView("\x11\x22"));
        QCOMPARE(configuration.parameterSets[1], QByteArrayView("\xff"));
    }
};

QTEST_APPLESS_MAIN(YCbCrRowsTest)
#include "tst_ycbcr_rows.moc"
