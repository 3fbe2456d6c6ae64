// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/jpeg/jpeg_reader.h"

#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <QColorSpace>
#include <QIODevice>
#include <QSysInfo>
#include <QTransform>

#include <csetjmp>
#include <cstdio> // jpeglib.h uses FILE and size_t without declaring them
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include <jerror.h> // after jpeglib.h, which it needs

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

constexpr std::size_t kInputBlockBytes = 64 * 1024;

// Format_RGB32's byte order, so libjpeg writes straight into the picture's rows.
constexpr J_COLOR_SPACE kRgb32Layout =
    QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;

// libjpeg's error_exit must not return: it jumps back to the running step's setjmp.
struct ErrorExit
{
    jpeg_error_mgr manager; // first: libjpeg's pointer to it is a pointer to the whole
    std::jmp_buf jump;
};

struct DeviceSource
{
    jpeg_source_mgr manager; // first, as above
    QIODevice* device;
    std::vector<JOCTET> block;
};

void jumpOut(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorExit*>(info->err)->jump, 1);
}

// Corrupt or short data still shows as far as it decodes; the warnings are not printed.
void stayQuiet(j_common_ptr) {}

void startSource(j_decompress_ptr) {}

void endSource(j_decompress_ptr) {}

boolean fillBlock(j_decompress_ptr info)
{
    auto* source = reinterpret_cast<DeviceSource*>(info->src);
    const qint64 read = source->device->read(reinterpret_cast<char*>(source->block.data()),
                                             static_cast<qint64>(source->block.size()));
    if (read > 0) {
        source->manager.next_input_byte = source->block.data();
        source->manager.bytes_in_buffer = static_cast<std::size_t>(read);
        return TRUE;
    }
    // A file cut short ends at a made-up end-of-image marker instead of failing.
    static const JOCTET endOfImage[] = {0xFF, JPEG_EOI};
    source->manager.next_input_byte = endOfImage;
    source->manager.bytes_in_buffer = sizeof endOfImage;
    return TRUE;
}

void skipBytes(j_decompress_ptr info, long count)
{
    if (count <= 0)
        return;
    auto* source = reinterpret_cast<DeviceSource*>(info->src);
    const auto wanted = static_cast<std::size_t>(count);
    if (wanted <= source->manager.bytes_in_buffer) {
        source->manager.next_input_byte += wanted;
        source->manager.bytes_in_buffer -= wanted;
        return;
    }
    source->device->skip(static_cast<qint64>(wanted - source->manager.bytes_in_buffer));
    source->manager.bytes_in_buffer = 0;
}

struct Decompression
{
    explicit Decompression(QIODevice& device)
    {
        info.err = jpeg_std_error(&errors.manager);
        errors.manager.error_exit = jumpOut;
        errors.manager.output_message = stayQuiet;
        source.manager.init_source = startSource;
        source.manager.fill_input_buffer = fillBlock;
        source.manager.skip_input_data = skipBytes;
        source.manager.resync_to_restart = jpeg_resync_to_restart;
        source.manager.term_source = endSource;
        source.device = &device;
        source.block.resize(kInputBlockBytes);
    }

    ~Decompression()
    {
        // Safe before jpeg_create_decompress too: a structure without memory is left as it is.
        jpeg_destroy_decompress(&info);
        std::free(iccProfile);
    }

    Decompression(const Decompression&) = delete;
    Decompression& operator=(const Decompression&) = delete;

    RuntimeError failure()
    {
        char text[JMSG_LENGTH_MAX] = {};
        (*errors.manager.format_message)(reinterpret_cast<j_common_ptr>(&info), text);
        const bool outOfMemory = errors.manager.msg_code == JERR_OUT_OF_MEMORY ||
                                 errors.manager.msg_code == JERR_NO_BACKING_STORE;
        return RuntimeError(outOfMemory ? ErrorNumber::OutOfMemory : ErrorNumber::InvalidPicture,
                            QString::fromLocal8Bit(text));
    }

    ErrorExit errors{};
    DeviceSource source{};
    jpeg_decompress_struct info{};
    QImage::Format format = QImage::Format_Invalid;
    JOCTET* iccProfile = nullptr;
    unsigned int iccProfileBytes = 0;
};

// Sets libjpeg's output colours and returns the picture's format: Invalid when there is no
// conversion to RGB.
QImage::Format chooseOutput(jpeg_decompress_struct& info)
{
    switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
        info.out_color_space = JCS_GRAYSCALE;
        return QImage::Format_Grayscale8;
    case JCS_YCbCr:
    case JCS_RGB:
        info.out_color_space = kRgb32Layout;
        return QImage::Format_RGB32;
    case JCS_CMYK:
    case JCS_YCCK:
        info.out_color_space = JCS_CMYK;
        return QImage::Format_RGB32;
    default:
        return QImage::Format_Invalid;
    }
}

// Each step below runs under a setjmp of its own and holds nothing that needs destroying,
// so a jump out of libjpeg skips no destructor. False when libjpeg gave up.

bool readHeaders(Decompression& jpeg, int denominator)
{
    if (setjmp(jpeg.errors.jump) != 0)
        return false;
    jpeg_create_decompress(&jpeg.info);
    // Over the limit, libjpeg asks for a backing store, which this build of it refuses.
    jpeg.info.mem->max_memory_to_use = protocol::kLibjpegMemoryLimitBytes;
    jpeg.info.src = &jpeg.source.manager;
    jpeg_save_markers(&jpeg.info, JPEG_APP0 + 2, 0xFFFF); // where a colour profile lies
    jpeg_read_header(&jpeg.info, TRUE);
    jpeg_read_icc_profile(&jpeg.info, &jpeg.iccProfile, &jpeg.iccProfileBytes);
    jpeg.format = chooseOutput(jpeg.info);
    jpeg.info.scale_num = 1;
    jpeg.info.scale_denom = static_cast<unsigned int>(denominator);
    jpeg_calc_output_dimensions(&jpeg.info);
    return true;
}

// Adobe's CMYK JPEGs, by far the most common kind, store their inks inverted.
void invertedCmykToRgb32(const JSAMPLE* cmyk, QRgb* rgb, JDIMENSION width)
{
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4) {
        const int black = cmyk[3];
        *rgb++ = qRgb(black * cmyk[0] / 255, black * cmyk[1] / 255, black * cmyk[2] / 255);
    }
}

bool decodeRows(Decompression& jpeg, QImage& image)
{
    if (setjmp(jpeg.errors.jump) != 0)
        return false;
    jpeg_start_decompress(&jpeg.info);
    if (jpeg.info.out_color_space == JCS_CMYK) {
        JSAMPARRAY cmyk = (*jpeg.info.mem->alloc_sarray)(
            reinterpret_cast<j_common_ptr>(&jpeg.info), JPOOL_IMAGE, jpeg.info.output_width * 4, 1);
        while (jpeg.info.output_scanline < jpeg.info.output_height) {
            auto* rgb = reinterpret_cast<QRgb*>(
                image.scanLine(static_cast<int>(jpeg.info.output_scanline)));
            if (jpeg_read_scanlines(&jpeg.info, cmyk, 1) != 1)
                return false;
            invertedCmykToRgb32(cmyk[0], rgb, jpeg.info.output_width);
        }
    } else {
        while (jpeg.info.output_scanline < jpeg.info.output_height) {
            JSAMPROW row = image.scanLine(static_cast<int>(jpeg.info.output_scanline));
            if (jpeg_read_scanlines(&jpeg.info, &row, 1) != 1)
                return false;
        }
    }
    jpeg_finish_decompress(&jpeg.info);
    return true;
}

// EXIF orientation: mirrored first, then turned a quarter clockwise. Mirroring stays in the
// memory decoded into; a quarter turn makes a new image, which the helper copies into a lent
// buffer.
QImage oriented(QImage image, QImageIOHandler::Transformations orientation)
{
    const bool mirror = orientation.testFlag(QImageIOHandler::TransformationMirror);
    const bool flip = orientation.testFlag(QImageIOHandler::TransformationFlip);
    if (mirror || flip)
        image = std::move(image).mirrored(mirror, flip);
    if (orientation.testFlag(QImageIOHandler::TransformationRotate90))
        image = image.transformed(QTransform().rotate(90));
    return image;
}

} // namespace

QImage readJpeg(QIODevice& device, int denominator, QImageIOHandler::Transformations orientation,
                const PixelAllocator& allocate)
{
    if (!device.seek(0))
        throw RuntimeError(ErrorNumber::InvalidPicture);
    Decompression jpeg(device);
    if (!readHeaders(jpeg, denominator))
        throw jpeg.failure();
    if (jpeg.format == QImage::Format_Invalid)
        throw RuntimeError(ErrorNumber::InvalidPicture);

    const QSize size(static_cast<int>(jpeg.info.output_width),
                     static_cast<int>(jpeg.info.output_height));
    const qint64 pixelBytes = 4LL * size.width() * size.height();
    QImage image = pixelBytes <= protocol::kDecodeAllocationLimitMiB * 1024LL * 1024
                       ? allocate(size, jpeg.format)
                       : QImage();
    if (image.isNull())
        throw RuntimeError(ErrorNumber::OutOfMemory);
    if (!decodeRows(jpeg, image))
        throw jpeg.failure();

    image = oriented(std::move(image), orientation);
    if (jpeg.iccProfile) {
        const QColorSpace profile = QColorSpace::fromIccProfile(
            QByteArray::fromRawData(reinterpret_cast<const char*>(jpeg.iccProfile),
                                    static_cast<qsizetype>(jpeg.iccProfileBytes)));
        if (profile.isValid())
            image.setColorSpace(profile);
    }
    return image;
}

} // namespace kavelora::decoder
