// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "frame_quality.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace kavelora::bench {

namespace {

struct Tap
{
    int source;
    double weight;
};

// For each of outputLength cells, the source pixels it covers and their normalised weights.
std::vector<std::vector<Tap>> areaTaps(int sourceLength, int outputLength)
{
    const double step = static_cast<double>(sourceLength) / outputLength;
    std::vector<std::vector<Tap>> taps(static_cast<std::size_t>(outputLength));
    for (int out = 0; out < outputLength; ++out) {
        const double begin = out * step;
        const double end = begin + step;
        auto& cell = taps[static_cast<std::size_t>(out)];
        for (int source = static_cast<int>(begin); source < sourceLength && source < end;
             ++source) {
            const double covered =
                std::min<double>(end, source + 1) - std::max<double>(begin, source);
            if (covered > 0.0)
                cell.push_back({source, covered / step});
        }
    }
    return taps;
}

} // namespace

QImage areaAverage(const QImage& source, QSize size)
{
    const QImage rgb = source.convertToFormat(QImage::Format_RGB32);
    const auto columns = areaTaps(rgb.width(), size.width());
    const auto rows = areaTaps(rgb.height(), size.height());

    // Columns first, into a narrow floating-point picture; then rows.
    const auto narrowWidth = static_cast<std::size_t>(size.width());
    std::vector<double> narrow(narrowWidth * static_cast<std::size_t>(rgb.height()) * 3);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        double* out = &narrow[static_cast<std::size_t>(y) * narrowWidth * 3];
        for (std::size_t x = 0; x < narrowWidth; ++x) {
            double red = 0;
            double green = 0;
            double blue = 0;
            for (const Tap& tap : columns[x]) {
                const QRgb pixel = line[tap.source];
                red += tap.weight * qRed(pixel);
                green += tap.weight * qGreen(pixel);
                blue += tap.weight * qBlue(pixel);
            }
            out[3 * x] = red;
            out[3 * x + 1] = green;
            out[3 * x + 2] = blue;
        }
    }
    QImage result(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (std::size_t x = 0; x < narrowWidth; ++x) {
            double channel[3] = {0, 0, 0};
            for (const Tap& tap : rows[static_cast<std::size_t>(y)]) {
                const double* in =
                    &narrow[(static_cast<std::size_t>(tap.source) * narrowWidth + x) * 3];
                for (int c = 0; c < 3; ++c)
                    channel[c] += tap.weight * in[c];
            }
            line[x] = qRgb(static_cast<int>(std::lround(channel[0])),
                           static_cast<int>(std::lround(channel[1])),
                           static_cast<int>(std::lround(channel[2])));
        }
    }
    return result;
}

double psnr(const QImage& frame, const QImage& reference)
{
    const QImage a = frame.convertToFormat(QImage::Format_RGB32);
    const QImage b = reference.convertToFormat(QImage::Format_RGB32);
    if (a.size() != b.size() || a.isNull())
        return std::numeric_limits<double>::quiet_NaN();
    double squares = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* lineA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* lineB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int red = qRed(lineA[x]) - qRed(lineB[x]);
            const int green = qGreen(lineA[x]) - qGreen(lineB[x]);
            const int blue = qBlue(lineA[x]) - qBlue(lineB[x]);
            squares += red * red + green * green + blue * blue;
        }
    }
    const double meanSquare = squares / (3.0 * a.width() * a.height());
    if (meanSquare == 0.0)
        return std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(255.0 * 255.0 / meanSquare);
}

} // namespace kavelora::bench
