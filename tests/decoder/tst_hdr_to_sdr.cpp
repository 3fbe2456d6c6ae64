// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// PQ and HLG samples shown on an SDR screen through SrgbRows: SDR colours carried at reference
// white come back as they were, highlights roll off without turning back, saturated colours
// keep their hue, and SDR pictures convert exactly as before.

#include "decoder/common/codec_samples.h"
#include "decoder/common/highlight_roll_off.h"
#include "hdr_samples.h"

#include <QCryptographicHash>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace kavelora;
using decoder::CodecColour;
using decoder::SrgbRows;
using namespace tests::hdr;

namespace {

CodecColour hdrColour(int transfer, float maxContentLight = 0, float masteringPeak = 0)
{
    CodecColour colour;
    colour.primaries = 9;
    colour.transfer = transfer;
    colour.maxContentLight = maxContentLight;
    colour.masteringPeak = masteringPeak;
    return colour;
}

std::vector<QRgb> shownRow(const CodecColour& colour, const std::vector<quint16>& samples)
{
    std::vector<QRgb> out(samples.size() / 3);
    SrgbRows(colour, 3, 16)
        .convert(reinterpret_cast<const uchar*>(samples.data()), out.data(),
                 static_cast<int>(out.size()));
    return out;
}

QRgb shown(const CodecColour& colour, const Light& nits)
{
    const std::array<quint16, 3> rgb = samplesOf(nits, colour.transfer);
    return shownRow(colour, {rgb.begin(), rgb.end()}).front();
}

// Every colour of a coarse cube through sRGB, and every grey.
std::vector<QRgb> sdrColours()
{
    std::vector<QRgb> colours;
    for (int red = 0; red < 256; red += 15)
        for (int green = 0; green < 256; green += 15)
            for (int blue = 0; blue < 256; blue += 15)
                colours.push_back(qRgb(red, green, blue));
    for (int grey = 0; grey < 256; ++grey)
        colours.push_back(qRgb(grey, grey, grey));
    return colours;
}

int largestLevel(QRgb colour)
{
    return std::max({qRed(colour), qGreen(colour), qBlue(colour)});
}

// Recorded from SrgbRows before PQ and HLG had a path of their own: transfer, primaries,
// bits per sample, channels, and the start of the SHA-1 of the words shownSdrRow gives.
struct SdrDigest
{
    int transfer;
    int primaries;
    int bitsPerSample;
    int channels;
    const char* digest;
};

constexpr SdrDigest kSdrDigests[] = {
    {1, 1, 8, 1, "858cb4097bdce61b"},    {1, 1, 8, 3, "97d0e6a384c07d3b"},
    {1, 1, 8, 4, "1c6a922f9ff73f72"},    {1, 1, 16, 1, "042a41d9db16e6a1"},
    {1, 1, 16, 3, "28eddc4fa3cc2904"},   {1, 1, 16, 4, "e12ca58ab911b1ab"},
    {1, 9, 8, 1, "858cb4097bdce61b"},    {1, 9, 8, 3, "7dffab4f4b162525"},
    {1, 9, 8, 4, "7106ebd59a534b5f"},    {1, 9, 16, 1, "042a41d9db16e6a1"},
    {1, 9, 16, 3, "3d659cb5b16e1ffb"},   {1, 9, 16, 4, "f4d7a1f5bff18a33"},
    {1, 12, 8, 1, "858cb4097bdce61b"},   {1, 12, 8, 3, "b4ec0878fe9e1a1e"},
    {1, 12, 8, 4, "d71a1207839e60f1"},   {1, 12, 16, 1, "042a41d9db16e6a1"},
    {1, 12, 16, 3, "cf79fb83e679f508"},  {1, 12, 16, 4, "509b0daa431f6458"},
    {13, 1, 8, 1, "61566398c3e00482"},   {13, 1, 8, 3, "be47788bd4266801"},
    {13, 1, 8, 4, "d86864be20ef1a84"},   {13, 1, 16, 1, "c2dfb12716b3532f"},
    {13, 1, 16, 3, "5e4a50ef1a74080e"},  {13, 1, 16, 4, "ef1d8f17cbbd5898"},
    {13, 9, 8, 1, "61566398c3e00482"},   {13, 9, 8, 3, "e6c12ecaab822208"},
    {13, 9, 8, 4, "ec7c2b06c27914fb"},   {13, 9, 16, 1, "048439b23845eb69"},
    {13, 9, 16, 3, "c1cb43dfc33db26e"},  {13, 9, 16, 4, "782e6697e2215fe9"},
    {13, 12, 8, 1, "61566398c3e00482"},  {13, 12, 8, 3, "59daeaa16dbaee9f"},
    {13, 12, 8, 4, "9ead4a93a392e403"},  {13, 12, 16, 1, "048439b23845eb69"},
    {13, 12, 16, 3, "87a4bf3051fcfdc1"}, {13, 12, 16, 4, "e2f149a750e4b03c"},
    {2, 1, 8, 1, "61566398c3e00482"},    {2, 1, 8, 3, "be47788bd4266801"},
    {2, 1, 8, 4, "d86864be20ef1a84"},    {2, 1, 16, 1, "c2dfb12716b3532f"},
    {2, 1, 16, 3, "5e4a50ef1a74080e"},   {2, 1, 16, 4, "ef1d8f17cbbd5898"},
    {2, 9, 8, 1, "61566398c3e00482"},    {2, 9, 8, 3, "e6c12ecaab822208"},
    {2, 9, 8, 4, "ec7c2b06c27914fb"},    {2, 9, 16, 1, "048439b23845eb69"},
    {2, 9, 16, 3, "c1cb43dfc33db26e"},   {2, 9, 16, 4, "782e6697e2215fe9"},
    {2, 12, 8, 1, "61566398c3e00482"},   {2, 12, 8, 3, "59daeaa16dbaee9f"},
    {2, 12, 8, 4, "9ead4a93a392e403"},   {2, 12, 16, 1, "048439b23845eb69"},
    {2, 12, 16, 3, "87a4bf3051fcfdc1"},  {2, 12, 16, 4, "e2f149a750e4b03c"},
};

QByteArray shownSdrRow(const SdrDigest& row)
{
    constexpr int width = 4096;
    const size_t count = size_t{width} * static_cast<size_t>(row.channels);
    std::vector<quint16> wide(count);
    std::vector<uchar> narrow(count);
    // Every 16-bit value is reached in steps that vary the low bits too.
    for (size_t i = 0; i < count; ++i) {
        wide[i] = static_cast<quint16>((i * 40503u) & 0xFFFFu);
        narrow[i] = static_cast<uchar>(wide[i] >> 8);
    }
    CodecColour colour;
    colour.primaries = row.primaries;
    colour.transfer = row.transfer;
    std::vector<QRgb> out(width);
    SrgbRows(colour, row.channels, row.bitsPerSample)
        .convert(row.bitsPerSample == 8 ? narrow.data()
                                        : reinterpret_cast<const uchar*>(wide.data()),
                 out.data(), width);
    return QCryptographicHash::hash(
               QByteArrayView(reinterpret_cast<const char*>(out.data()), width * 4),
               QCryptographicHash::Sha1)
        .toHex()
        .left(16);
}

} // namespace

class TstHdrToSdr : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // SDR colours carried at reference white in BT.2020 come back within a level or so,
    // wherever the roll-off leaves them alone: all of them when the content stops at
    // reference white, else those below the knee.
    void sdrColoursComeBack_data()
    {
        QTest::addColumn<int>("transfer");
        QTest::addColumn<float>("maxContentLight");
        QTest::addColumn<float>("masteringPeak");
        QTest::addColumn<double>("peakNits");
        QTest::newRow("PQ saying nothing of its light") << kPq << 0.0f << 0.0f << 10000.0;
        QTest::newRow("PQ content up to reference white") << kPq << 203.0f << 0.0f << 203.0;
        QTest::newRow("PQ content up to 1000") << kPq << 1000.0f << 4000.0f << 1000.0;
        QTest::newRow("PQ mastered at 1000") << kPq << 0.0f << 1000.0f << 1000.0;
        QTest::newRow("HLG saying nothing of its light") << kHlg << 0.0f << 0.0f << 1000.0;
        QTest::newRow("HLG content up to reference white") << kHlg << 203.0f << 0.0f << 203.0;
    }
    void sdrColoursComeBack()
    {
        QFETCH(int, transfer);
        QFETCH(float, maxContentLight);
        QFETCH(float, masteringPeak);
        QFETCH(double, peakNits);
        const std::vector<QRgb> colours = sdrColours();
        const std::vector<QRgb> out = shownRow(hdrColour(transfer, maxContentLight, masteringPeak),
                                               hdrSamplesOf(colours, transfer));
        const double knee = decoder::HighlightRollOff(peakNits).knee();
        int largestError = 0;
        qint64 errorSum = 0;
        qint64 compared = 0;
        for (size_t i = 0; i < colours.size(); ++i) {
            if (linearOf(largestLevel(colours[i])) > knee)
                continue;
            const int error = std::max({std::abs(qRed(out[i]) - qRed(colours[i])),
                                        std::abs(qGreen(out[i]) - qGreen(colours[i])),
                                        std::abs(qBlue(out[i]) - qBlue(colours[i]))});
            largestError = std::max(largestError, error);
            errorSum += error;
            ++compared;
        }
        const double meanError = static_cast<double>(errorSum) / static_cast<double>(compared);
        qInfo("%lld of %zu colours below the knee (sRGB level %d): largest error %d, mean %.3f "
              "levels",
              compared, colours.size(), srgbLevelOf(std::min(knee, 1.0)), largestError, meanError);
        QVERIFY2(compared >= 200, "too few colours below the knee to judge");
        QVERIFY(largestError <= 3);
        QVERIFY(meanError < 1.0);
    }

    // Every layout of samples: black stays black, reference white of a picture that goes no
    // brighter is SDR white, and alpha passes through.
    void everyLayoutShowsBlackAndWhite_data()
    {
        QTest::addColumn<int>("transfer");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("bitsPerSample");
        for (const int transfer : {kPq, kHlg}) {
            const char* name = transfer == kPq ? "PQ" : "HLG";
            QTest::addRow("%s 16-bit grey", name) << transfer << 1 << 16;
            QTest::addRow("%s 16-bit grey and alpha", name) << transfer << 2 << 16;
            QTest::addRow("%s 16-bit RGBA", name) << transfer << 4 << 16;
            QTest::addRow("%s 8-bit RGB", name) << transfer << 3 << 8;
            QTest::addRow("%s 8-bit grey and alpha", name) << transfer << 2 << 8;
        }
    }
    void everyLayoutShowsBlackAndWhite()
    {
        QFETCH(int, transfer);
        QFETCH(int, channels);
        QFETCH(int, bitsPerSample);
        // Reference white's signal (PQ's for 203 cd/m², HLG's 0.75 on a 1000 cd/m² display),
        // rounded up: whatever is above it shows as white too.
        const double white = transfer == kPq ? pqSignalOf(kReferenceWhiteNits) : 0.75;
        const int largest = (1 << bitsPerSample) - 1;
        const auto code = [&](double signal) { return std::lround(std::ceil(signal * largest)); };
        const bool alpha = channels % 2 == 0;
        std::vector<long> codes;
        for (const double signal : {0.0, white}) {
            for (int channel = 0; channel < channels; ++channel)
                codes.push_back(alpha && channel == channels - 1 ? code(signal > 0 ? 0.5 : 1.0)
                                                                 : code(signal));
        }
        std::vector<quint16> wide(codes.begin(), codes.end());
        std::vector<uchar> narrow(codes.begin(), codes.end());
        QRgb out[2];
        SrgbRows(hdrColour(transfer, 203), channels, bitsPerSample)
            .convert(bitsPerSample == 8 ? narrow.data()
                                        : reinterpret_cast<const uchar*>(wide.data()),
                     out, 2);
        QCOMPARE(out[0], qRgba(0, 0, 0, 255));
        QCOMPARE(out[1], qRgba(255, 255, 255, alpha ? 128 : 255));
    }

    // A grey and a warm colour brightening from reference white to PQ's peak never darken on
    // the way and end at white (or, for the colour, with its largest channel at 255).
    void highlightsRollOffWithoutTurningBack_data()
    {
        QTest::addColumn<Light>("colour");
        QTest::addColumn<float>("maxContentLight");
        QTest::addColumn<float>("masteringPeak");
        const Light grey{1, 1, 1};
        const Light warm{1.0, 0.55, 0.25};
        QTest::newRow("grey, nothing said") << grey << 0.0f << 0.0f;
        QTest::newRow("grey, content up to 1000") << grey << 1000.0f << 0.0f;
        QTest::newRow("grey, mastered at 4000") << grey << 0.0f << 4000.0f;
        QTest::newRow("grey, content up to reference white") << grey << 203.0f << 0.0f;
        QTest::newRow("warm, nothing said") << warm << 0.0f << 0.0f;
        QTest::newRow("warm, content up to 1000") << warm << 1000.0f << 0.0f;
        QTest::newRow("warm, file claims NaN and -1")
            << warm << std::numeric_limits<float>::quiet_NaN() << -1.0f;
    }
    void highlightsRollOffWithoutTurningBack()
    {
        QFETCH(Light, colour);
        QFETCH(float, maxContentLight);
        QFETCH(float, masteringPeak);
        std::vector<quint16> samples;
        constexpr int steps = 2000;
        for (int step = 0; step <= steps; ++step) {
            const double nits = 203.0 * std::pow(10000.0 / 203.0, double(step) / steps);
            const std::array<quint16, 3> rgb =
                samplesOf({colour[0] * nits, colour[1] * nits, colour[2] * nits}, kPq);
            samples.insert(samples.end(), rgb.begin(), rgb.end());
        }
        const std::vector<QRgb> out =
            shownRow(hdrColour(kPq, maxContentLight, masteringPeak), samples);
        // Red leads in both colours and must never fall; the others follow red's fall-off
        // through ratios that each sample's rounding to 16 bits moves by a hair, which may
        // cross an 8-bit rounding edge: one level back is allowed to them.
        for (size_t i = 1; i < out.size(); ++i) {
            if (qRed(out[i]) < qRed(out[i - 1]) || qGreen(out[i]) < qGreen(out[i - 1]) - 1 ||
                qBlue(out[i]) < qBlue(out[i - 1]) - 1)
                QFAIL(qPrintable(u"darker at step %1: %2 after %3"_qs.arg(i)
                                     .arg(out[i], 8, 16)
                                     .arg(out[i - 1], 8, 16)));
        }
        QVERIFY(qGreen(out.back()) >= qGreen(out[steps / 2]));
        QCOMPARE(largestLevel(out.back()), 255);
        // A picture only just above reference white keeps its colours apart.
        QVERIFY(out.front() != out.back() || maxContentLight == 203.0f);
    }

    // The brighter the picture says it gets, the more its middle highlights are held down;
    // reference white is SDR white only when nothing is brighter.
    void statedPeakShapesTheCurve_data()
    {
        QTest::addColumn<int>("transfer");
        QTest::addColumn<double>("nits");
        QTest::addColumn<QList<float>>("contentPeaks");
        QTest::addColumn<QList<int>>("atLeast");
        QTest::addColumn<QList<int>>("atMost");
        QTest::newRow("PQ reference white")
            << kPq << 203.0 << QList<float>{203, 1000, 4000, 0} << QList<int>{255, 215, 180, 150}
            << QList<int>{255, 254, 240, 220};
        QTest::newRow("PQ 600 cd/m²")
            << kPq << 600.0 << QList<float>{203, 1000, 4000, 0} << QList<int>{255, 240, 200, 170}
            << QList<int>{255, 254, 250, 240};
        QTest::newRow("HLG reference white") << kHlg << 203.0 << QList<float>{203, 0}
                                             << QList<int>{255, 215} << QList<int>{255, 254};
        QTest::newRow("PQ just below knee of 1000") << kPq << 80.0 << QList<float>{203, 1000}
                                                    << QList<int>{165, 165} << QList<int>{170, 170};
    }
    void statedPeakShapesTheCurve()
    {
        QFETCH(int, transfer);
        QFETCH(double, nits);
        QFETCH(QList<float>, contentPeaks);
        QFETCH(QList<int>, atLeast);
        QFETCH(QList<int>, atMost);
        int previous = 256;
        for (qsizetype i = 0; i < contentPeaks.size(); ++i) {
            const int level =
                qGreen(shown(hdrColour(transfer, contentPeaks[i]), {nits, nits, nits}));
            qInfo("%.0f cd/m² grey, content peak %.0f: level %d", nits,
                  static_cast<double>(contentPeaks[i]), level);
            QVERIFY(level >= atLeast[i] && level <= atMost[i]);
            QVERIFY(level <= previous);
            previous = level;
        }
    }

    // Colours BT.709 cannot show keep their hue: they are desaturated toward their own
    // luminance, not clipped channel by channel.
    void saturatedColoursKeepTheirHue_data()
    {
        QTest::addColumn<Light>("bt2020");
        QTest::addColumn<double>("nits");
        QTest::newRow("red, dim") << Light{1, 0, 0} << 60.0;
        QTest::newRow("green, dim") << Light{0, 1, 0} << 60.0;
        QTest::newRow("blue, dim") << Light{0, 0, 1} << 60.0;
        QTest::newRow("yellow, dim") << Light{1, 1, 0} << 60.0;
        QTest::newRow("cyan, dim") << Light{0, 1, 1} << 60.0;
        QTest::newRow("magenta, dim") << Light{1, 0, 1} << 60.0;
        QTest::newRow("orange, dim") << Light{1, 0.4, 0} << 60.0;
        QTest::newRow("red, a highlight") << Light{1, 0, 0} << 3000.0;
        QTest::newRow("green, a highlight") << Light{0, 1, 0} << 3000.0;
        QTest::newRow("teal, a highlight") << Light{0, 0.8, 0.5} << 3000.0;
    }
    void saturatedColoursKeepTheirHue()
    {
        QFETCH(Light, bt2020);
        QFETCH(double, nits);
        const QRgb out =
            shown(hdrColour(kPq), {bt2020[0] * nits, bt2020[1] * nits, bt2020[2] * nits});
        const double expected = hueOfBt2020(bt2020);
        const double actual =
            hueOfBt709({linearOf(qRed(out)), linearOf(qGreen(out)), linearOf(qBlue(out))});
        const double shift = std::remainder(actual - expected, 360.0);
        qInfo("hue %.1f°, shown %.1f° (shift %.2f°), as %08x", expected, actual, shift, out);
        QVERIFY(std::abs(shift) <= 2.0);
    }

    // SDR transfers go the way they always went, bit for bit.
    void sdrPicturesUnchanged_data()
    {
        QTest::addColumn<int>("row");
        const char* const layouts[] = {"", "grey", "", "RGB", "RGBA"};
        for (int row = 0; row < int(std::size(kSdrDigests)); ++row) {
            const SdrDigest& digest = kSdrDigests[row];
            QTest::addRow("transfer %d, primaries %d, %d-bit %s", digest.transfer, digest.primaries,
                          digest.bitsPerSample, layouts[digest.channels])
                << row;
        }
    }
    void sdrPicturesUnchanged()
    {
        QFETCH(int, row);
        QCOMPARE(shownSdrRow(kSdrDigests[row]), QByteArray(kSdrDigests[row].digest));
    }

    // What a row of a 48 MP picture's samples costs, to report in ns per pixel: a photo's
    // smooth colours, and noise whose every pixel differs (the worst case for the tables).
    void benchmarkRow_data()
    {
        QTest::addColumn<int>("transfer");
        QTest::addColumn<int>("primaries");
        QTest::addColumn<bool>("noise");
        QTest::newRow("PQ BT.2020, photo") << kPq << 9 << false;
        QTest::newRow("PQ BT.2020, noise") << kPq << 9 << true;
        QTest::newRow("HLG BT.2020, photo") << kHlg << 9 << false;
        QTest::newRow("HLG BT.2020, noise") << kHlg << 9 << true;
        QTest::newRow("BT.709 curve, BT.2020, colour library, photo") << 1 << 9 << false;
        QTest::newRow("BT.709 curve, BT.2020, colour library, noise") << 1 << 9 << true;
    }
    void benchmarkRow()
    {
        QFETCH(int, transfer);
        QFETCH(int, primaries);
        QFETCH(bool, noise);
        constexpr int width = 8000;
        std::vector<quint16> samples(size_t{width} * 3);
        if (noise) {
            for (size_t i = 0; i < samples.size(); ++i)
                samples[i] = static_cast<quint16>((i * 40503u) & 0xFFFFu);
        } else {
            std::vector<QRgb> photo(width);
            for (int x = 0; x < width; ++x)
                photo[size_t(x)] = qRgb(x * 255 / width, 128 + int(100 * std::sin(x / 70.0)),
                                        200 - x * 150 / width);
            samples = hdrSamplesOf(photo, transfer == kHlg ? kHlg : kPq);
        }
        CodecColour colour = hdrColour(transfer);
        colour.primaries = primaries;
        const SrgbRows rows(colour, 3, 16);
        std::vector<QRgb> out(width);
        QBENCHMARK
        {
            rows.convert(reinterpret_cast<const uchar*>(samples.data()), out.data(), width);
        }
        QVERIFY(std::any_of(out.begin(), out.end(), [&](QRgb word) { return word != out[0]; }));
    }
};

QTEST_APPLESS_MAIN(TstHdrToSdr)
#include "tst_hdr_to_sdr.moc"
