// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/tiff/tiff_reader.h"

#include "decoder/common/area_reducer.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <QIODevice>
#include <QImageIOHandler>

#include <memory>
#include <vector>

#include <tiffio.h>

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

QIODevice& deviceOf(thandle_t handle)
{
    return *static_cast<QIODevice*>(handle);
}

tmsize_t readBlock(thandle_t handle, void* buffer, tmsize_t size)
{
    return static_cast<tmsize_t>(deviceOf(handle).read(static_cast<char*>(buffer), size));
}

tmsize_t refuseWrite(thandle_t, void*, tmsize_t)
{
    return -1;
}

toff_t seekTo(thandle_t handle, toff_t offset, int whence)
{
    QIODevice& device = deviceOf(handle);
    qint64 target = static_cast<qint64>(offset);
    if (whence == SEEK_CUR)
        target += device.pos();
    else if (whence == SEEK_END)
        target += device.size();
    return device.seek(target) ? static_cast<toff_t>(target) : static_cast<toff_t>(-1);
}

int keepOpen(thandle_t)
{
    return 0;
}

toff_t sizeOf(thandle_t handle)
{
    return static_cast<toff_t>(deviceOf(handle).size());
}

struct TiffCloser
{
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

template<typename Value> Value field(TIFF* tiff, ttag_t tag, Value missing)
{
    Value value = missing;
    return TIFFGetField(tiff, tag, &value) == 1 ? value : missing;
}

// The kinds whose rows are the pixels as Qt's reader shows them.
bool isPlainStripImage(TIFF* tiff)
{
    const auto samples = field<uint16_t>(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    const auto photometric = field<uint16_t>(tiff, TIFFTAG_PHOTOMETRIC, 0xFFFF);
    uint32_t profileBytes = 0;
    void* profile = nullptr;
    const bool hasProfile = TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &profileBytes, &profile) == 1;
    const bool rgb = photometric == PHOTOMETRIC_RGB && samples == 3;
    const bool gray = photometric == PHOTOMETRIC_MINISBLACK && samples == 1;
    return (rgb || gray) && !TIFFIsTiled(tiff) && !hasProfile &&
           field<uint16_t>(tiff, TIFFTAG_BITSPERSAMPLE, 1) == 8 &&
           field<uint16_t>(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) ==
               PLANARCONFIG_CONTIG &&
           field<uint16_t>(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) == ORIENTATION_TOPLEFT &&
           field<uint16_t>(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT) == SAMPLEFORMAT_UINT;
}

void rgbToRgb32(const uchar* rgb, QRgb* pixels, int width)
{
    for (int x = 0; x < width; ++x, rgb += 3)
        pixels[x] = qRgb(rgb[0], rgb[1], rgb[2]);
}

} // namespace

std::optional<DecodedPicture> readTiff(QIODevice& device, QSize coverPixels,
                                       const PixelAllocator& allocate)
{
    const qint64 start = device.pos();
    if (!device.seek(0))
        throw RuntimeError(ErrorNumber::InvalidPicture);
    const std::unique_ptr<TIFF, TiffCloser> tiff(TIFFClientOpen("picture", "rm", &device, readBlock,
                                                                refuseWrite, seekTo, keepOpen,
                                                                sizeOf, nullptr, nullptr));
    if (!tiff)
        throw RuntimeError(ErrorNumber::InvalidPicture);
    if (!isPlainStripImage(tiff.get())) {
        device.seek(start);
        return std::nullopt;
    }
    const auto width = field<uint32_t>(tiff.get(), TIFFTAG_IMAGEWIDTH, 0);
    const auto height = field<uint32_t>(tiff.get(), TIFFTAG_IMAGELENGTH, 0);
    if (width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu)
        throw RuntimeError(ErrorNumber::InvalidPicture);
    if (static_cast<qint64>(width) * height > protocol::kMaxPicturePixels)
        throw RuntimeError(ErrorNumber::OutOfMemory);
    const QSize ownSize(static_cast<int>(width), static_cast<int>(height));
    const bool gray = field<uint16_t>(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, 1) == 1;
    const int factor = areaReductionFactor(ownSize, coverPixels);
    const QSize size((ownSize.width() + factor - 1) / factor,
                     (ownSize.height() + factor - 1) / factor);
    QImage image = allocate(size, gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (image.isNull())
        throw RuntimeError(ErrorNumber::OutOfMemory);

    AreaReducer reducer(image, ownSize.height(), factor);
    std::vector<uchar> samples(static_cast<std::size_t>(TIFFScanlineSize(tiff.get())));
    std::vector<QRgb> pixels(gray ? 0 : static_cast<std::size_t>(width));
    if (samples.size() < static_cast<std::size_t>(width) * (gray ? 1 : 3))
        throw RuntimeError(ErrorNumber::InvalidPicture);
    for (uint32_t y = 0; y < height; ++y) {
        const bool whole = factor == 1;
        uchar* row = whole && gray ? image.scanLine(static_cast<int>(y)) : samples.data();
        if (TIFFReadScanline(tiff.get(), row, y, 0) != 1)
            throw RuntimeError(ErrorNumber::InvalidPicture);
        if (gray) {
            if (!whole)
                reducer.addGrayRow(row, ownSize.width());
            continue;
        }
        QRgb* out =
            whole ? reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y))) : pixels.data();
        rgbToRgb32(row, out, ownSize.width());
        if (!whole)
            reducer.addRow(out, ownSize.width());
    }
    return DecodedPicture{std::move(image), ownSize};
}

} // namespace kavelora::decoder
