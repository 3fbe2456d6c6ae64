// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "oriented_encodings.h"

#include <jxl/encode.h>
#include <jxl/encode_cxx.h>
#include <libheif/heif.h>

#include <cstring>
#include <memory>

namespace kavelora::tests {

namespace {

struct HeifDeleter
{
    void operator()(heif_context* context) const { heif_context_free(context); }
    void operator()(heif_encoder* encoder) const { heif_encoder_release(encoder); }
    void operator()(heif_image* image) const { heif_image_release(image); }
    void operator()(heif_encoding_options* options) const { heif_encoding_options_free(options); }
};
template<typename T> using HeifPointer = std::unique_ptr<T, HeifDeleter>;

heif_error appendTo(heif_context* /*context*/, const void* data, size_t size, void* bytes)
{
    static_cast<QByteArray*>(bytes)->append(static_cast<const char*>(data),
                                            static_cast<qsizetype>(size));
    return {heif_error_Ok, heif_suberror_Unspecified, ""};
}

} // namespace

QByteArray heifWithOrientation(const QImage& image, int orientation)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const HeifPointer<heif_context> context(heif_context_alloc());
    heif_encoder* encoder = nullptr;
    heif_image* picture = nullptr;
    if (heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &encoder).code ||
        heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB,
                          heif_chroma_interleaved_RGB, &picture)
            .code)
        return {};
    const HeifPointer<heif_encoder> encoderOwner(encoder);
    const HeifPointer<heif_image> pictureOwner(picture);
    int bytesPerLine = 0;
    if (heif_image_add_plane(picture, heif_channel_interleaved, rgb.width(), rgb.height(), 8).code)
        return {};
    uint8_t* plane = heif_image_get_plane(picture, heif_channel_interleaved, &bytesPerLine);
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(plane + y * bytesPerLine, rgb.constScanLine(y),
                    static_cast<size_t>(rgb.width()) * 3);
    heif_encoder_set_lossy_quality(encoder, 90);
    const HeifPointer<heif_encoding_options> options(heif_encoding_options_alloc());
    options->image_orientation = static_cast<heif_orientation>(orientation);
    QByteArray bytes;
    heif_writer writer{1, &appendTo};
    if (heif_context_encode_image(context.get(), picture, encoder, options.get(), nullptr).code ||
        heif_context_write(context.get(), &writer, &bytes).code)
        return {};
    return bytes;
}

QByteArray jxlWithOrientation(const QImage& image, int orientation)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const JxlEncoderPtr encoder = JxlEncoderMake(nullptr);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = static_cast<uint32_t>(rgb.width());
    info.ysize = static_cast<uint32_t>(rgb.height());
    info.bits_per_sample = 8;
    info.uses_original_profile = JXL_TRUE;
    info.orientation = static_cast<JxlOrientation>(orientation);
    JxlColorEncoding srgb;
    JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
    const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    if (rgb.bytesPerLine() != rgb.width() * 3 ||
        JxlEncoderSetBasicInfo(encoder.get(), &info) != JXL_ENC_SUCCESS ||
        JxlEncoderSetColorEncoding(encoder.get(), &srgb) != JXL_ENC_SUCCESS ||
        JxlEncoderSetFrameLossless(settings, JXL_TRUE) != JXL_ENC_SUCCESS ||
        JxlEncoderAddImageFrame(settings, &format, rgb.constBits(),
                                static_cast<size_t>(rgb.sizeInBytes())) != JXL_ENC_SUCCESS)
        return {};
    JxlEncoderCloseInput(encoder.get());
    QByteArray bytes(64 * 1024, '\0');
    auto* next = reinterpret_cast<uint8_t*>(bytes.data());
    size_t left = static_cast<size_t>(bytes.size());
    if (JxlEncoderProcessOutput(encoder.get(), &next, &left) != JXL_ENC_SUCCESS)
        return {};
    bytes.truncate(bytes.size() - static_cast<qsizetype>(left));
    return bytes;
}

} // namespace kavelora::tests
