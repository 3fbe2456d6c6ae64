// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "png_samples.h"
#include "byte_fields.h"
#include "picture_fixtures.h"
#include "seeded_random.h"

#include <algorithm>
#include <cstdlib>

namespace kavelora::tests {

namespace {

int channelsOf(int colourType)
{
    return colourType == Rgb ? 3 : colourType == GrayAlpha ? 2 : colourType == Rgba ? 4 : 1;
}

int predictor(int filter, int left, int above, int aboveLeft)
{
    switch (filter) {
    case 1:
        return left;
    case 2:
        return above;
    case 3:
        return (left + above) / 2;
    case 4: {
        const int estimate = left + above - aboveLeft;
        const int toLeft = std::abs(estimate - left);
        const int toAbove = std::abs(estimate - above);
        const int toAboveLeft = std::abs(estimate - aboveLeft);
        if (toLeft <= toAbove && toLeft <= toAboveLeft)
            return left;
        return toAbove <= toAboveLeft ? above : aboveLeft;
    }
    default:
        return 0;
    }
}

} // namespace

QByteArray randomPng(QSize size, int colourType, int bitDepth, const QByteArray& extraChunks,
                     int levels, std::uint64_t seed)
{
    SeededRandom random(seed);
    const qsizetype bitsPerPixel = channelsOf(colourType) * bitDepth;
    const qsizetype rowBytes = (size.width() * bitsPerPixel + 7) / 8;
    const int stride = std::max<int>(1, static_cast<int>(bitsPerPixel / 8));
    QByteArray previous(rowBytes, '\0');
    QByteArray data;
    for (int y = 0; y < size.height(); ++y) {
        QByteArray raw(rowBytes, '\0');
        const int samples = size.width() * channelsOf(colourType);
        for (int i = 0; i < samples; ++i) {
            const int sample = static_cast<int>(random.bounded(static_cast<quint32>(levels)));
            const qsizetype bit = i * bitDepth;
            if (bitDepth == 16) {
                raw[bit / 8] = static_cast<char>(sample >> 8);
                raw[bit / 8 + 1] = static_cast<char>(sample & 0xFF);
            } else {
                raw[bit / 8] =
                    static_cast<char>(raw[bit / 8] | (sample << (8 - bitDepth - bit % 8)));
            }
        }
        const int filter = y % 5;
        data += static_cast<char>(filter);
        for (qsizetype i = 0; i < rowBytes; ++i) {
            const auto at = [](const QByteArray& row, qsizetype index) {
                return index < 0 ? 0 : static_cast<uchar>(row[index]);
            };
            const int predicted =
                predictor(filter, at(raw, i - stride), at(previous, i), at(previous, i - stride));
            data += static_cast<char>(at(raw, i) - predicted);
        }
        previous = raw;
    }
    const QByteArray header = be32(static_cast<quint32>(size.width())) +
                              be32(static_cast<quint32>(size.height())) +
                              QByteArray(1, static_cast<char>(bitDepth)) +
                              QByteArray(1, static_cast<char>(colourType)) + QByteArray(3, '\0');
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + pngChunk("IHDR", header) + extraChunks +
           pngChunk("IDAT", qCompress(data).mid(4)) + pngChunk("IEND", {});
}

QByteArray paletteChunk(int entries)
{
    return pngChunk("PLTE", SeededRandom(7).bytes(3 * entries));
}

} // namespace kavelora::tests
