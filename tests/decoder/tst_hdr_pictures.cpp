// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// PQ and HLG pictures written by the codec libraries' encoders, from an SDR picture carried at
// reference white, read back and shown on SDR: they come back as the SDR picture where the
// roll-off leaves them alone.

#include "decoder/common/highlight_roll_off.h"
#include "decoder/picture_decoder.h"
#include "hdr_samples.h"
#include "tool_encodings.h"

#include <QTemporaryDir>
#include <QTest>

#include <jxl/encode.h>
#include <jxl/encode_cxx.h>

#include <algorithm>

using namespace kavelora;
using namespace tests::hdr;

namespace {

const QSize kSize(64, 48);
// sRGB's transfer, for the codec's own error on an SDR picture.
constexpr int kSrgb = 13;
// What lossy JPEG XL at distance 0.1 moves this picture's sharpest edges by, in SDR too.
constexpr int kXybError = 8;

// Colours of every hue, bright in the top half and dim below (where even a picture that says
// nothing of its peak is left alone), and a grey ramp along the bottom rows.
QImage sdrPicture()
{
    QImage image(kSize, QImage::Format_RGB32);
    const int half = kSize.height() / 2;
    for (int y = 0; y < kSize.height(); ++y) {
        for (int x = 0; x < kSize.width(); ++x) {
            const int dim = y < half ? 1 : 3;
            const int shade = (y % half) * 255 / half;
            image.setPixel(x, y,
                           y >= kSize.height() - 4
                               ? qRgb(x * 4, x * 4, x * 4)
                               : qRgb(x * 4 / dim, shade / dim, (255 - (x + y) * 2) / dim));
        }
    }
    return image;
}

// The samples of sdr through transfer, RGB 16 bits each, row after row.
std::vector<quint16> hdrSamples(const QImage& sdr, int transfer)
{
    std::vector<QRgb> colours;
    for (int y = 0; y < sdr.height(); ++y)
        for (int x = 0; x < sdr.width(); ++x)
            colours.push_back(sdr.pixel(x, y));
    if (transfer != kSrgb)
        return hdrSamplesOf(colours, transfer);
    std::vector<quint16> samples;
    for (const QRgb colour : colours)
        for (const int level : {qRed(colour), qGreen(colour), qBlue(colour)})
            samples.push_back(static_cast<quint16>(level * 257));
    return samples;
}

QImage sixteenBitImage(const std::vector<quint16>& samples)
{
    QImage image(kSize, QImage::Format_RGBX64);
    for (int y = 0; y < kSize.height(); ++y) {
        auto* row = reinterpret_cast<QRgba64*>(image.scanLine(y));
        for (int x = 0; x < kSize.width(); ++x) {
            const size_t at = 3 * (size_t(y) * size_t(kSize.width()) + size_t(x));
            row[x] = QRgba64::fromRgba64(samples[at], samples[at + 1], samples[at + 2], 65535);
        }
    }
    return image;
}

// A JPEG XL of samples tagged BT.2100 (sRGB's primaries for sRGB) with transfer, lossless or in XYB
// at distance 0.1.
QByteArray jxlOf(const std::vector<quint16>& samples, int transfer, bool lossless,
                 float intensityTarget)
{
    const JxlEncoderPtr encoder = JxlEncoderMake(nullptr);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = uint32_t(kSize.width());
    info.ysize = uint32_t(kSize.height());
    info.bits_per_sample = 16;
    info.uses_original_profile = lossless ? JXL_TRUE : JXL_FALSE;
    info.intensity_target = intensityTarget;
    JxlColorEncoding colour{};
    colour.color_space = JXL_COLOR_SPACE_RGB;
    colour.white_point = JXL_WHITE_POINT_D65;
    colour.primaries = transfer == kSrgb ? JXL_PRIMARIES_SRGB : JXL_PRIMARIES_2100;
    colour.transfer_function = JxlTransferFunction(transfer);
    colour.rendering_intent = JXL_RENDERING_INTENT_RELATIVE;
    if (JxlEncoderSetBasicInfo(encoder.get(), &info) != JXL_ENC_SUCCESS ||
        JxlEncoderSetColorEncoding(encoder.get(), &colour) != JXL_ENC_SUCCESS)
        return {};
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
    if (lossless)
        JxlEncoderSetFrameLossless(settings, JXL_TRUE);
    else
        JxlEncoderSetFrameDistance(settings, 0.1f);
    const JxlPixelFormat format{3, JXL_TYPE_UINT16, JXL_NATIVE_ENDIAN, 0};
    if (JxlEncoderAddImageFrame(settings, &format, samples.data(),
                                samples.size() * sizeof(quint16)) != JXL_ENC_SUCCESS)
        return {};
    JxlEncoderCloseInput(encoder.get());
    QByteArray bytes(1 << 16, Qt::Uninitialized);
    auto* next = reinterpret_cast<uint8_t*>(bytes.data());
    size_t room = size_t(bytes.size());
    while (JxlEncoderProcessOutput(encoder.get(), &next, &room) == JXL_ENC_NEED_MORE_OUTPUT) {
        const qsizetype written = reinterpret_cast<char*>(next) - bytes.data();
        bytes.resize(bytes.size() * 2);
        next = reinterpret_cast<uint8_t*>(bytes.data()) + written;
        room = size_t(bytes.size() - written);
    }
    bytes.resize(reinterpret_cast<char*>(next) - bytes.data());
    return bytes;
}

int largestLevel(QRgb colour)
{
    return std::max({qRed(colour), qGreen(colour), qBlue(colour)});
}

} // namespace

class TstHdrPictures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_folder.isValid()); }

    // peakNits: the light the reader should take the picture to reach, which sets the knee.
    void comesBackAsTheSdrPicture_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("transfer");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("lossless");
        QTest::addColumn<float>("intensityTarget");
        QTest::addColumn<double>("peakNits");
        QTest::addColumn<int>("tolerance");
        const QStringList exact{u"--cicp"_qs, u"9/16/0"_qs, u"-y"_qs, u"444"_qs, u"--min"_qs,
                                u"0"_qs,      u"--max"_qs,  u"0"_qs,  u"-d"_qs,  u"10"_qs};
        const QStringList lossy{u"--cicp"_qs, u"9/16/9"_qs, u"-y"_qs, u"444"_qs, u"--min"_qs,
                                u"0"_qs,      u"--max"_qs,  u"4"_qs,  u"-d"_qs,  u"10"_qs};
        QTest::newRow("AVIF PQ 10-bit, exact")
            << u"avif"_qs << kPq << exact << true << 0.0f << 10000.0 << 1;
        QTest::newRow("AVIF PQ 10-bit BT.2020 YCbCr")
            << u"avif"_qs << kPq << lossy << false << 0.0f << 10000.0 << 4;
        QTest::newRow("JPEG XL PQ lossless, content up to reference white")
            << u"jxl"_qs << kPq << QStringList() << true << 203.0f << 203.0 << 1;
        QTest::newRow("JPEG XL PQ lossless, content up to 1000")
            << u"jxl"_qs << kPq << QStringList() << true << 1000.0f << 1000.0 << 1;
        QTest::newRow("JPEG XL PQ lossy, content up to 1000")
            << u"jxl"_qs << kPq << QStringList() << false << 1000.0f << 1000.0 << kXybError;
        QTest::newRow("JPEG XL sRGB lossy, the codec's own error")
            << u"jxl"_qs << kSrgb << QStringList() << false << 0.0f << 203.0 << kXybError;
        QTest::newRow("JPEG XL HLG lossless")
            << u"jxl"_qs << kHlg << QStringList() << true << 1000.0f << 1000.0 << 1;
        QTest::newRow("JPEG XL HLG lossy")
            << u"jxl"_qs << kHlg << QStringList() << false << 1000.0f << 1000.0 << kXybError;
    }
    void comesBackAsTheSdrPicture()
    {
        QFETCH(QString, format);
        QFETCH(int, transfer);
        QFETCH(QStringList, options);
        QFETCH(bool, lossless);
        QFETCH(float, intensityTarget);
        QFETCH(double, peakNits);
        QFETCH(int, tolerance);
        const QImage sdr = sdrPicture();
        const std::vector<quint16> samples = hdrSamples(sdr, transfer);
        const QByteArray bytes =
            format == u"avif"
                ? tests::encodedByTool(format, sixteenBitImage(samples), options, m_folder.path())
                : jxlOf(samples, transfer, lossless, intensityTarget);
        if (bytes.isEmpty())
            QSKIP("the encoder is missing (test.sh installs it)");
        const QImage shown = decoder::decodePicture(bytes, kSize).image;
        QCOMPARE(shown.size(), kSize);
        const double knee = decoder::HighlightRollOff(peakNits).knee();
        int largestError = 0;
        qint64 errorSum = 0;
        qint64 compared = 0;
        for (int y = 0; y < kSize.height(); ++y) {
            for (int x = 0; x < kSize.width(); ++x) {
                const QRgb expected = sdr.pixel(x, y);
                if (linearOf(largestLevel(expected)) > knee)
                    continue;
                const QRgb actual = shown.pixel(x, y);
                const int error = std::max({std::abs(qRed(actual) - qRed(expected)),
                                            std::abs(qGreen(actual) - qGreen(expected)),
                                            std::abs(qBlue(actual) - qBlue(expected))});
                largestError = std::max(largestError, error);
                errorSum += error;
                ++compared;
            }
        }
        const double meanError = double(errorSum) / double(std::max(compared, qint64{1}));
        qInfo("%lld of %d pixels below the knee: largest error %d, mean %.3f levels", compared,
              kSize.width() * kSize.height(), largestError, meanError);
        QVERIFY2(compared >= 100, "too few pixels below the knee to judge");
        QVERIFY(largestError <= tolerance);
        QVERIFY(meanError < 1.0);
    }

private:
    QTemporaryDir m_folder;
};

QTEST_GUILESS_MAIN(TstHdrPictures)
#include "tst_hdr_pictures.moc"
