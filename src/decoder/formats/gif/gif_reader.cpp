// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/gif/gif_reader.h"

#include "decoder/common/area_reducer.h"
#include "decoder/common/pixel_allocation.h"
#include "decoder/common/row_ring.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include <gif_lib.h>

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

// Qt's reader shows an index past the colour table, and the transparent one, with no alpha.
constexpr QRgb kPastTable = 0x00FFFFFF;
constexpr int kGraphicControlBytes = 4;

// The file's bytes as giflib reads them. giflib reads exactly what it needs, so the position
// may be moved between its calls.
struct ByteSource
{
    const QByteArray& bytes;
    qsizetype position = 0;

    bool atEnd() const { return position >= bytes.size(); }
};

int readBytes(GifFileType* gif, GifByteType* into, int length)
{
    auto* source = static_cast<ByteSource*>(gif->UserData);
    const qsizetype count =
        std::clamp<qsizetype>(source->bytes.size() - source->position, 0, length);
    std::memcpy(into, source->bytes.constData() + source->position,
                static_cast<std::size_t>(count));
    source->position += count;
    return static_cast<int>(count);
}

struct GifCloser
{
    void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

GifHandle openGif(ByteSource& source)
{
    int error = D_GIF_SUCCEEDED;
    return GifHandle(DGifOpen(&source, readBytes, &error));
}

// The one image of a still GIF, and how its indices show.
struct StillImage
{
    QSize size;
    // Where its image descriptor follows the introducer.
    qsizetype descriptorAt = 0;
    bool transparent = false;
    std::array<QRgb, 256> colours{};
};

std::array<QRgb, 256> coloursAsQtShows(const ColorMapObject& map, int transparentIndex)
{
    std::array<QRgb, 256> colours;
    colours.fill(kPastTable);
    const int count = std::min(map.ColorCount, 256);
    for (int i = 0; i < count; ++i) {
        const GifColorType& colour = map.Colors[i];
        colours[static_cast<std::size_t>(i)] = qRgb(colour.Red, colour.Green, colour.Blue);
    }
    if (transparentIndex >= 0)
        colours[static_cast<std::size_t>(transparentIndex)] &= kPastTable;
    else
        std::for_each(colours.begin(), colours.end(), [](QRgb& colour) { colour |= 0xFF000000; });
    return colours;
}

// False for what Qt's reader would take otherwise than giflib: a graphic control or
// application extension whose first block is empty (Qt's reader then reads the following
// bytes as a block) and, before the image, a graphic control block too short to hold its
// transparent index.
bool readExtension(GifFileType& gif, int* transparentIndex)
{
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(&gif, &code, &block) == GIF_ERROR)
        return false;
    const bool graphicControl = code == GRAPHICS_EXT_FUNC_CODE;
    if (!block && (graphicControl || code == APPLICATION_EXT_FUNC_CODE))
        return false;
    if (graphicControl && transparentIndex) {
        if (block[0] < kGraphicControlBytes)
            return false;
        *transparentIndex = (block[1] & 0x01) != 0 ? block[4] : -1;
    }
    while (block) {
        if (DGifGetExtensionNext(&gif, &block) == GIF_ERROR)
            return false;
    }
    return true;
}

// Follows an image's LZW codes as a decoder would, without making pixels, to find the codes
// that name no string yet: giflib and Qt's reader make different pixels of those, or refuse
// them at different points.
class LzwCodeCheck
{
public:
    explicit LzwCodeCheck(int minimumCodeSize)
        : m_firstCodeBits(minimumCodeSize + 1)
        , m_clear(1 << minimumCodeSize)
    {
        restart();
    }

    // False once a code names no string. Codes after the end code are not looked at.
    bool take(const GifByteType* bytes, int count)
    {
        for (int i = 0; i < count && !m_ended; ++i) {
            m_bits |= static_cast<quint32>(bytes[i]) << m_heldBits;
            m_heldBits += 8;
            while (m_heldBits >= m_codeBits && !m_ended) {
                const auto code = static_cast<int>(m_bits & ((1u << m_codeBits) - 1));
                m_bits >>= m_codeBits;
                m_heldBits -= m_codeBits;
                if (!takeCode(code))
                    return false;
            }
        }
        return true;
    }

private:
    static constexpr int kMaxCodeBits = 12;

    void restart()
    {
        m_codeBits = m_firstCodeBits;
        m_nextCode = m_clear + 2;
        m_firstAfterClear = true;
    }

    bool takeCode(int code)
    {
        if (code == m_clear) {
            restart();
            return true;
        }
        if (code == m_clear + 1) {
            m_ended = true;
            return true;
        }
        if (m_firstAfterClear) {
            m_firstAfterClear = false;
            return code < m_clear;
        }
        // The code just about to be made is the one string a code may name before it is.
        if (code > m_nextCode)
            return false;
        if (m_nextCode < (1 << kMaxCodeBits)) {
            ++m_nextCode;
            if (m_nextCode >= (1 << m_codeBits) && m_codeBits < kMaxCodeBits)
                ++m_codeBits;
        }
        return true;
    }

    int m_firstCodeBits;
    int m_clear;
    int m_codeBits = 0;
    int m_nextCode = 0;
    bool m_firstAfterClear = true;
    bool m_ended = false;
    quint32 m_bits = 0;
    int m_heldBits = 0;
};

// Reads the image's data blocks, checking its codes.
bool checkImageData(GifFileType& gif)
{
    int codeSize = 0;
    GifByteType* block = nullptr;
    // Below two bits Qt's reader and giflib part ways.
    if (DGifGetCode(&gif, &codeSize, &block) == GIF_ERROR || codeSize < 2)
        return false;
    LzwCodeCheck codes(codeSize);
    while (block) {
        if (!codes.take(block + 1, block[0]) || DGifGetCodeNext(&gif, &block) == GIF_ERROR)
            return false;
    }
    return true;
}

std::optional<StillImage> plainImage(const GifFileType& gif, int transparentIndex)
{
    const GifImageDesc& image = gif.Image;
    const ColorMapObject* map = image.ColorMap ? image.ColorMap : gif.SColorMap;
    if (image.Left != 0 || image.Top != 0 || image.Width != gif.SWidth ||
        image.Height != gif.SHeight || image.Width <= 0 || image.Height <= 0 || image.Interlace ||
        !map)
        return std::nullopt;
    return StillImage{QSize(image.Width, image.Height), 0, transparentIndex >= 0,
                      coloursAsQtShows(*map, transparentIndex)};
}

// Walks a GIF's records without decoding them, in two steps: up to the first image, which is
// all a decode needs to start, then the rest, which tells whether it is a plain still.
class RecordWalk
{
public:
    explicit RecordWalk(const QByteArray& bytes)
        : m_source{bytes}
        , m_gif(openGif(m_source))
    {}

    // The first image, its descriptor read; nullopt when the GIF is not plain up to there.
    std::optional<StillImage> firstImage()
    {
        int transparentIndex = -1;
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        while (m_gif && DGifGetRecordType(m_gif.get(), &record) != GIF_ERROR &&
               record == EXTENSION_RECORD_TYPE) {
            if (!readExtension(*m_gif, &transparentIndex))
                return std::nullopt;
        }
        if (!m_gif || record != IMAGE_DESC_RECORD_TYPE)
            return std::nullopt;
        const qsizetype descriptorAt = m_source.position;
        if (DGifGetImageDesc(m_gif.get()) == GIF_ERROR)
            return std::nullopt;
        std::optional<StillImage> still = plainImage(*m_gif, transparentIndex);
        if (still)
            still->descriptorAt = descriptorAt;
        return still;
    }

    // After firstImage: false for an animation, for a GIF giflib cannot walk to its end, and
    // for codes it would read otherwise than Qt's reader.
    bool restIsPlain()
    {
        if (!checkImageData(*m_gif))
            return false;
        for (;;) {
            GifRecordType record = UNDEFINED_RECORD_TYPE;
            // Qt's reader shows a picture whose trailer is missing.
            if (DGifGetRecordType(m_gif.get(), &record) == GIF_ERROR)
                return m_source.atEnd();
            if (record == TERMINATE_RECORD_TYPE)
                return true;
            if (record != EXTENSION_RECORD_TYPE || !readExtension(*m_gif, nullptr))
                return false;
        }
    }

private:
    ByteSource m_source;
    GifHandle m_gif;
};

// False where giflib gives up on a row, what Qt's reader shows then or refuses being its own,
// and where the rest of walk finds the GIF is not a plain still after all.
bool decodeRows(const QByteArray& bytes, const StillImage& still, RecordWalk& walk, int factor,
                QImage& image)
{
    ByteSource source{bytes};
    const GifHandle gif = openGif(source);
    source.position = still.descriptorAt;
    if (!gif || DGifGetImageDesc(gif.get()) == GIF_ERROR)
        return false;
    const int width = still.size.width();
    const int height = still.size.height();
    std::vector<QRgb> row(factor > 1 ? static_cast<std::size_t>(width) : 0);
    AreaReducer reducer(image, height, factor);
    // giflib decodes the rows of indices ahead, while they are turned into pixels here: the
    // decoding is most of the work.
    const auto decodeIndices = [&](uchar* rows, int count) {
        for (int i = 0; i < count; ++i, rows += width) {
            if (DGifGetLine(gif.get(), rows, width) == GIF_ERROR)
                return false;
        }
        return true;
    };
    RowRing indexRows(static_cast<std::size_t>(width), height, decodeIndices);
    // The walk takes about a tenth of the decoding's time, beside it.
    if (!walk.restIsPlain())
        return false;
    for (int y = 0; y < height; ++y) {
        const GifPixelType* indices = indexRows.row(y);
        if (!indices)
            return false;
        QRgb* pixels = factor > 1 ? row.data() : reinterpret_cast<QRgb*>(image.scanLine(y));
        std::transform(indices, indices + width, pixels,
                       [&](GifPixelType index) { return still.colours[index]; });
        if (factor > 1)
            reducer.addRow(pixels, width);
    }
    return true;
}

} // namespace

std::optional<DecodedPicture> readGif(const QByteArray& bytes, QSize coverPixels,
                                      QSize decodedAlready, const PixelAllocator& allocate)
{
    RecordWalk walk(bytes);
    const std::optional<StillImage> still = walk.firstImage();
    if (!still)
        return std::nullopt;
    const QSize ownSize = still->size;
    if (static_cast<qint64>(ownSize.width()) * ownSize.height() > protocol::kMaxPicturePixels) {
        if (!walk.restIsPlain())
            return std::nullopt;
        throw RuntimeError(ErrorNumber::OutOfMemory);
    }
    const int factor = areaReductionFactor(ownSize, coverPixels);
    const QSize size = reducedSize(ownSize, factor);
    if (size == decodedAlready || ownSize == decodedAlready) {
        if (!walk.restIsPlain())
            return std::nullopt;
        return DecodedPicture{QImage(), ownSize};
    }
    const QImage::Format format = !still->transparent ? QImage::Format_RGB32
                                  : factor > 1        ? QImage::Format_ARGB32_Premultiplied
                                                      : QImage::Format_ARGB32;
    QImage image = allocate(size, format);
    if (image.isNull())
        throw RuntimeError(ErrorNumber::OutOfMemory);
    if (!decodeRows(bytes, *still, walk, factor, image))
        return std::nullopt;
    return DecodedPicture{std::move(image), ownSize};
}

} // namespace kavelora::decoder
