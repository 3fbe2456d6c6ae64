// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "codec_samples.h"
#include "byte_fields.h"
#include "seeded_random.h"

#include <QFile>
#include <QRgb>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include <gif_lib.h>
#include <webp/encode.h>

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

QImage detailedPhoto(QSize size, QImage::Format format)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int detail = ((x * 7 + y * 13) % 17) * 6;
            image.setPixel(x, y,
                           qRgb((x * 255 / size.width() + detail) % 256,
                                (y * 255 / size.height() + detail / 2) % 256,
                                (x + y + detail) % 256));
        }
    }
    return image.convertToFormat(format);
}

QByteArray libjpegFile(QSize size, int components, J_COLOR_SPACE input, J_COLOR_SPACE stored)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* output = nullptr;
    unsigned long outputBytes = 0;
    jpeg_mem_dest(&info, &output, &outputBytes);
    info.image_width = static_cast<JDIMENSION>(size.width());
    info.image_height = static_cast<JDIMENSION>(size.height());
    info.input_components = components;
    info.in_color_space = input;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, stored);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(size.width() * components));
    while (info.next_scanline < info.image_height) {
        const auto y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < size.width(); ++x) {
            for (int c = 0; c < components; ++c)
                row[static_cast<std::size_t>(x * components + c)] =
                    static_cast<JSAMPLE>((x * 255 / size.width() + y * 3 + c * 70) % 256);
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(output), static_cast<qsizetype>(outputBytes));
    std::free(output);
    jpeg_destroy_compress(&info);
    return bytes;
}

QByteArray tiffFile(const QImage& image, const TiffKind& kind)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("picture.tif"));
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tiff)
        return {};
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height()));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, kind.bitsPerSample);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, kind.samples);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
                 kind.samples == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    if (kind.samples == 4) {
        const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, kind.compression);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, kind.orientation);
    const int bytesPerSample = kind.bitsPerSample / 8;
    const auto sampleRow = [&](int y) {
        QByteArray row;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            const int values[4] = {qRed(pixel), qGreen(pixel), qBlue(pixel), qAlpha(pixel)};
            for (int s = 0; s < kind.samples; ++s)
                row += QByteArray(bytesPerSample,
                                  static_cast<char>(values[kind.samples == 1 ? 1 : s]));
        }
        return row;
    };
    if (kind.tiled) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, 16);
        const qsizetype pixelBytes = kind.samples * bytesPerSample;
        for (int top = 0; top < image.height(); top += 16) {
            for (int left = 0; left < image.width(); left += 16) {
                QByteArray tile(16 * 16 * pixelBytes, '\0');
                for (int y = top; y < std::min(top + 16, image.height()); ++y) {
                    const QByteArray row = sampleRow(y);
                    const qsizetype count =
                        (std::min(left + 16, image.width()) - left) * pixelBytes;
                    tile.replace((y - top) * 16 * pixelBytes, count,
                                 row.mid(left * pixelBytes, count));
                }
                TIFFWriteTile(tiff, tile.data(), static_cast<uint32_t>(left),
                              static_cast<uint32_t>(top), 0, 0);
            }
        }
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, kind.rowsPerStrip);
        for (int y = 0; y < image.height(); ++y) {
            QByteArray row = sampleRow(y);
            TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0);
        }
    }
    TIFFClose(tiff);
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage softPhoto(QSize size, bool withAlpha)
{
    QImage image(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int detail = ((x * 7 + y * 13) % 17) * 3;
            const int alpha = withAlpha ? (x * 255 / size.width() + 40) % 256 : 255;
            image.setPixel(x, y,
                           qRgba((x * 255 / size.width() + detail) % 256,
                                 (y * 255 / size.height() + detail / 2) % 256,
                                 (x + y) * 255 / (size.width() + size.height()), alpha));
        }
    }
    return image;
}

QByteArray webpFile(const QImage& image, bool lossless)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    uint8_t* output = nullptr;
    const auto* pixels = argb.constBits();
    const int stride = static_cast<int>(argb.bytesPerLine());
    // Format_ARGB32 is B, G, R, A in memory on the little-endian machines this runs on.
    const std::size_t size =
        lossless ? WebPEncodeLosslessBGRA(pixels, argb.width(), argb.height(), stride, &output)
                 : WebPEncodeBGRA(pixels, argb.width(), argb.height(), stride, 90, &output);
    QByteArray bytes(reinterpret_cast<const char*>(output), static_cast<qsizetype>(size));
    WebPFree(output);
    return bytes;
}

} // namespace kavelora::tests
