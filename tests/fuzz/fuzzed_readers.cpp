// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "fuzzed_readers.h"

#include "decoder/formats/avif/avif_reader.h"
#include "decoder/formats/bmp/bmp_reader.h"
#include "decoder/formats/gif/gif_reader.h"
#include "decoder/formats/heif/heif_reader.h"
#include "decoder/formats/jpeg/jpeg_reader.h"
#include "decoder/formats/jxl/jxl_reader.h"
#include "decoder/formats/png/png_reader.h"
#include "decoder/formats/tiff/tiff_reader.h"
#include "decoder/formats/webp/webp_reader.h"
#include "decoder/frame_reader.h"
#include "decoder/picture_decoder.h"
#include "fuzz_support.h"
#include "protocol/picture_limits.h"

#include <QBuffer>
#include <QImageReader>

#include <cstdlib>
#include <optional>

namespace kavelora::fuzz {
using namespace kavelora::decoder;
using namespace kavelora::protocol;

namespace {

// A cover that makes the readers which can reduce do so, and one that asks for the whole.
constexpr QSize kReducedCover(7, 5);
constexpr QSize kWholeCover(1 << 20, 1 << 20);
// Enough frames of an animation to reach its disposal and delta paths.
constexpr int kMaxFrames = 4;

// What every reader promises of the pictures it gives back, then their bytes' sum.
unsigned keptPromises(const QImage& image)
{
    if (image.isNull())
        return 0;
    if (qint64{image.width()} * image.height() > kMaxPicturePixels || image.depth() > 32)
        std::abort();
    return sumOfPixels(image);
}

unsigned keptPromises(const DecodedPicture& decoded)
{
    if (!decoded.image.isNull() &&
        (decoded.ownSize.isEmpty() || decoded.image.width() > decoded.ownSize.width() ||
         decoded.image.height() > decoded.ownSize.height()))
        std::abort();
    return keptPromises(decoded.image);
}

unsigned keptPromises(const std::optional<DecodedPicture>& decoded)
{
    return decoded ? keptPromises(*decoded) : 0;
}

} // namespace

unsigned readBmpForFuzzing(const QByteArray& bytes)
{
    static_cast<void>(bmpNeedsWholeFile(bytes));
    if (isRunLengthBmp(bytes))
        return keptPromises(readRunLengthBmp(bytes, kMaxPicturePixels, {}));
    // The rest goes to Qt's reader once the header is one it reads, within the pixel cap.
    QBuffer buffer;
    buffer.setData(withQtReadableBmpHeader(bytes));
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setAutoDetectImageFormat(false);
    const QSize size = reader.size();
    if (!size.isValid() || qint64{size.width()} * size.height() > kMaxPicturePixels)
        return 0;
    return keptPromises(finishedPixels(reader.read()));
}

unsigned readGifForFuzzing(const QByteArray& bytes)
{
    const std::optional<DecodedPicture> reduced = readGif(bytes, kReducedCover);
    if (reduced) {
        // The whole picture for printing, beside the reduced one shown already.
        return keptPromises(reduced) +
               keptPromises(readGif(bytes, kWholeCover, reduced->image.size()));
    }
    // Animations and the GIFs the still reader leaves to Qt's.
    FrameReader frames(bytes, "gif");
    unsigned sum = 0;
    for (int frame = 0; frame < kMaxFrames; ++frame) {
        const std::optional<FrameReader::Frame> next = frames.next();
        if (!next)
            break;
        sum += keptPromises(next->image);
    }
    return sum;
}

unsigned readPngForFuzzing(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return keptPromises(readPng(buffer, kReducedCover)) +
           keptPromises(readPng(buffer, kWholeCover));
}

unsigned readTiffForFuzzing(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return keptPromises(readTiff(buffer, kReducedCover)) +
           keptPromises(readTiff(buffer, kWholeCover));
}

unsigned readWebpForFuzzing(const QByteArray& bytes)
{
    return keptPromises(readWebp(bytes, kReducedCover)) +
           keptPromises(readWebp(bytes, kWholeCover));
}

unsigned readJpegForFuzzing(const QByteArray& bytes)
{
    // The input's length picks the scale and the orientation, so each file meets one of each.
    const auto length = static_cast<unsigned>(bytes.size());
    const int denominator = 1 << (length % 4);
    const QImageIOHandler::Transformations orientation(static_cast<int>(length / 4 % 8));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return keptPromises(finishedPixels(readJpeg(buffer, denominator, orientation)));
}

unsigned readHeifForFuzzing(const QByteArray& bytes)
{
    return keptPromises(readHeif(bytes, kReducedCover));
}

unsigned readAvifForFuzzing(const QByteArray& bytes)
{
    return keptPromises(readAvif(bytes, kReducedCover));
}

unsigned readJxlForFuzzing(const QByteArray& bytes)
{
    return keptPromises(readJxl(bytes, kReducedCover));
}

} // namespace kavelora::fuzz
