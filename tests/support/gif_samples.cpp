// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "gif_samples.h"
#include "byte_fields.h"
#include "seeded_random.h"

#include <QRgb>

#include <algorithm>
#include <memory>
#include <vector>

#include <gif_lib.h>

namespace kavelora::tests {

namespace {

// Distinct colours, none of them gray, so that a wrong index shows.
QRgb paletteColour(int index)
{
    return qRgb((index * 37 + 11) % 256, (index * 91 + 60) % 256, (index * 13 + 200) % 256);
}

struct ColourMapFree
{
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

std::unique_ptr<ColorMapObject, ColourMapFree> colourMap(int count, int firstColour)
{
    if (count == 0)
        return nullptr;
    std::unique_ptr<ColorMapObject, ColourMapFree> map(GifMakeMapObject(count, nullptr));
    for (int i = 0; i < count; ++i) {
        const QRgb colour = paletteColour(firstColour + i);
        map->Colors[i] = {static_cast<GifByteType>(qRed(colour)),
                          static_cast<GifByteType>(qGreen(colour)),
                          static_cast<GifByteType>(qBlue(colour))};
    }
    return map;
}

int appendBytes(GifFileType* gif, const GifByteType* data, int length)
{
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), length);
    return length;
}

// Indices in bands with scattered detail, as a drawing reduced to a palette holds them.
std::vector<GifPixelType> drawingIndices(QSize size, int colours, std::uint64_t seed)
{
    SeededRandom random(seed);
    std::vector<GifPixelType> indices;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int band = (x * 3 + y * 2) / 7;
            const int detail = random.bounded(5) == 0 ? static_cast<int>(random.bounded(4)) : 0;
            indices.push_back(static_cast<GifPixelType>((band + detail) % colours));
        }
    }
    return indices;
}

} // namespace

QByteArray encodedGif(const GifLayout& layout, std::uint64_t seed)
{
    const QRect place = layout.image.isEmpty() ? QRect(QPoint(), layout.screen) : layout.image;
    const int colours = layout.localColours > 0 ? layout.localColours : layout.globalColours;
    std::vector<GifPixelType> indices = drawingIndices(place.size(), std::max(colours, 2), seed);
    const auto global = colourMap(layout.globalColours, 0);
    const auto local = colourMap(layout.localColours, 100);
    QByteArray bytes;
    int error = D_GIF_SUCCEEDED;
    GifFileType* gif = EGifOpen(&bytes, appendBytes, &error);
    if (!gif)
        return {};
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, layout.screen.width(), layout.screen.height(), 8, 0, global.get());
    for (int image = 0; image < layout.images; ++image) {
        if (layout.graphicControl) {
            const GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 5,
                                               layout.transparentIndex};
            GifByteType extension[4];
            EGifGCBToExtension(&control, extension);
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension);
        }
        EGifPutImageDesc(gif, place.x(), place.y(), place.width(), place.height(),
                         layout.interlaced, local.get());
        // EGifPutLine masks the indices it is given in place.
        std::vector<GifPixelType> rows = indices;
        for (int y = 0; y < place.height(); ++y)
            EGifPutLine(gif, rows.data() + static_cast<std::size_t>(y * place.width()),
                        place.width());
    }
    EGifCloseFile(gif, &error);
    return bytes;
}

GifLayout still(QSize size, int globalColours)
{
    GifLayout layout;
    layout.screen = size;
    layout.globalColours = globalColours;
    return layout;
}

GifLayout transparent(GifLayout layout, int index)
{
    layout.graphicControl = true;
    layout.transparentIndex = index;
    return layout;
}

QByteArray withBlockFirst(QByteArray gif, int globalColours, const QByteArray& block)
{
    return gif.insert(kScreenDescriptorEnd + 3 * globalColours, block);
}

QByteArray indicesPastTable(bool withTransparency)
{
    GifLayout layout = still(QSize(48, 20), 256);
    if (withTransparency)
        layout = transparent(layout, 2);
    QByteArray gif = encodedGif(layout);
    gif[10] = static_cast<char>((gif[10] & ~0x07) | 0x01);
    return gif.remove(kScreenDescriptorEnd + 4 * 3, 252 * 3);
}

QByteArray claimingSize(QByteArray gif, int globalColours, QSize size)
{
    const qsizetype image = kScreenDescriptorEnd + 3 * globalColours + 1;
    for (const qsizetype at : {qsizetype(6), image + 4}) {
        put16le(gif, at, static_cast<quint32>(size.width()));
        put16le(gif, at + 2, static_cast<quint32>(size.height()));
    }
    return gif;
}

} // namespace kavelora::tests
