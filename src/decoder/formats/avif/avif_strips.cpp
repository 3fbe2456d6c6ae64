// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/avif/avif_strips.h"

#include "decoder/common/area_reducer.h"
#include "platform/runtime_error.h"

#include <avif/avif.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

// Shown rows converted at a time: strips this small stay in the cache.
constexpr int kBandRows = 32;
// libavif's chroma upsampling reads one chroma sample either side of a pixel: two coded
// pixels of context around each strip make its edges exactly as a whole conversion's.
constexpr int kContextPixels = 2;

// Converts rectangles of the coded picture to sRGB words, rect.width() words a row.
class StripConverter
{
public:
    StripConverter(const avifImage& image, const CodecColour& colour, bool alpha)
        : m_image(image)
        , m_alpha(alpha)
        , m_direct(image.depth == 8 && isSrgb(colour))
        , m_bytesPerSample(image.depth > 8 ? 2 : 1)
    {
        avifGetPixelFormatInfo(image.yuvFormat, &m_chroma);
        if (!m_direct)
            m_rows = std::make_unique<SrgbRows>(colour, alpha ? 4 : 3, image.depth > 8 ? 16 : 8);
    }

    // rect grown by the context upsampling reads, its corner on a chroma sample.
    QRect withContext(QRect rect) const
    {
        const int left =
            std::max(0, rect.left() - kContextPixels) & ~((1 << m_chroma.chromaShiftX) - 1);
        const int top =
            std::max(0, rect.top() - kContextPixels) & ~((1 << m_chroma.chromaShiftY) - 1);
        const int right =
            std::min(static_cast<int>(m_image.width) - 1, rect.right() + kContextPixels);
        const int bottom =
            std::min(static_cast<int>(m_image.height) - 1, rect.bottom() + kContextPixels);
        return QRect(QPoint(left, top), QPoint(right, bottom));
    }

    const QRgb* convert(QRect rect)
    {
        const std::size_t pixels =
            static_cast<std::size_t>(rect.width()) * static_cast<std::size_t>(rect.height());
        m_words.resize(pixels);
        // A shallow copy whose planes start at the strip: libavif 0.11 has no cropped view.
        avifImage part = m_image;
        part.width = static_cast<uint32_t>(rect.width());
        part.height = static_cast<uint32_t>(rect.height());
        offsetPlane(part.yuvPlanes[AVIF_CHAN_Y], part.yuvRowBytes[AVIF_CHAN_Y], rect.topLeft());
        const QPoint chromaCorner(rect.x() >> m_chroma.chromaShiftX,
                                  rect.y() >> m_chroma.chromaShiftY);
        offsetPlane(part.yuvPlanes[AVIF_CHAN_U], part.yuvRowBytes[AVIF_CHAN_U], chromaCorner);
        offsetPlane(part.yuvPlanes[AVIF_CHAN_V], part.yuvRowBytes[AVIF_CHAN_V], chromaCorner);
        offsetPlane(part.alphaPlane, part.alphaRowBytes, rect.topLeft());

        avifRGBImage rgb;
        avifRGBImageSetDefaults(&rgb, &part);
        if (m_direct) {
            rgb.format =
                Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_ARGB;
            rgb.depth = 8;
            rgb.pixels = reinterpret_cast<uint8_t*>(m_words.data());
            rgb.rowBytes = static_cast<uint32_t>(rect.width()) * sizeof(QRgb);
            raiseIfFailed(avifImageYUVToRGB(&part, &rgb));
            return m_words.data();
        }
        const int channels = m_alpha ? 4 : 3;
        rgb.format = m_alpha ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
        rgb.depth = m_image.depth > 8 ? 16 : 8;
        rgb.rowBytes = static_cast<uint32_t>(rect.width() * channels * m_bytesPerSample);
        m_samples.resize(std::size_t{rgb.rowBytes} * static_cast<std::size_t>(rect.height()));
        rgb.pixels = m_samples.data();
        raiseIfFailed(avifImageYUVToRGB(&part, &rgb));
        for (int y = 0; y < rect.height(); ++y)
            m_rows->convert(
                m_samples.data() + std::size_t{rgb.rowBytes} * static_cast<std::size_t>(y),
                m_words.data() + static_cast<std::ptrdiff_t>(y) * rect.width(), rect.width());
        return m_words.data();
    }

private:
    void offsetPlane(uint8_t*& plane, uint32_t rowBytes, QPoint corner) const
    {
        if (plane)
            plane += std::size_t{rowBytes} * static_cast<std::size_t>(corner.y()) +
                     static_cast<std::size_t>(corner.x() * m_bytesPerSample);
    }

    static void raiseIfFailed(avifResult result)
    {
        if (result != AVIF_RESULT_OK)
            throw RuntimeError(result == AVIF_RESULT_OUT_OF_MEMORY ? ErrorNumber::OutOfMemory
                                                                   : ErrorNumber::InvalidPicture);
    }

    const avifImage& m_image;
    bool m_alpha;
    // 8-bit sRGB converts straight into words; anything else through samples and SrgbRows.
    bool m_direct;
    int m_bytesPerSample;
    avifPixelFormatInfo m_chroma{};
    std::unique_ptr<SrgbRows> m_rows;
    std::vector<uchar> m_samples;
    std::vector<QRgb> m_words;
};

// Shown row y's pixels from the words of the coded rect, one step along the coded picture a
// pixel.
void gatherRow(const AvifShownGeometry& geometry, int y, const QRgb* words, QRect rect, QRgb* out)
{
    const QPoint start = geometry.codedPixelOf(0, y) - rect.topLeft();
    const std::ptrdiff_t step =
        geometry.alongRow.y() * std::ptrdiff_t{rect.width()} + geometry.alongRow.x();
    const QRgb* in = words + start.y() * std::ptrdiff_t{rect.width()} + start.x();
    for (int x = 0; x < geometry.shownSize.width(); ++x, in += step)
        out[x] = *in;
}

} // namespace

QImage shownAvifPicture(const avifImage& image, const AvifShownGeometry& geometry,
                        const CodecColour& colour, bool alpha, int factor,
                        const PixelAllocator& allocate)
{
    const QImage::Format format = !alpha       ? QImage::Format_RGB32
                                  : factor > 1 ? QImage::Format_ARGB32_Premultiplied
                                               : QImage::Format_ARGB32;
    const QSize shown = geometry.shownSize;
    QImage target = allocate(reducedSize(shown, factor), format);
    if (target.isNull())
        throw RuntimeError(ErrorNumber::OutOfMemory);
    StripConverter converter(image, colour, alpha);
    AreaReducer reducer(target, shown.height(), factor);
    std::vector<QRgb> row(factor > 1 ? static_cast<std::size_t>(shown.width()) : 0);
    for (int first = 0; first < shown.height(); first += kBandRows) {
        const int end = std::min(shown.height(), first + kBandRows);
        const QRect rect = converter.withContext(geometry.codedRectOfRows(first, end));
        const QRgb* words = converter.convert(rect);
        for (int y = first; y < end; ++y) {
            if (factor == 1) {
                gatherRow(geometry, y, words, rect, reinterpret_cast<QRgb*>(target.scanLine(y)));
                continue;
            }
            gatherRow(geometry, y, words, rect, row.data());
            reducer.addRow(row.data(), shown.width());
        }
    }
    return target;
}

} // namespace kavelora::decoder
