// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/webp/webp_reader.h"

#include "decoder/common/area_reducer.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <QSysInfo>

#include <webp/decode.h>

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

// Format_ARGB32's byte order, so libwebp writes straight into the picture's rows.
constexpr bool kLittleEndian = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
constexpr WEBP_CSP_MODE kArgb32Layout = kLittleEndian ? MODE_BGRA : MODE_ARGB;
constexpr WEBP_CSP_MODE kPremultipliedLayout = kLittleEndian ? MODE_bgrA : MODE_Argb;

// The extended header's flag for an ICC profile.
bool hasColourProfile(const QByteArray& bytes)
{
    constexpr char kIccFlag = 0x20;
    return bytes.size() >= 21 && bytes.mid(12, 4) == "VP8X" && (bytes[20] & kIccFlag) != 0;
}

// Frees libwebp's decoder buffers, never the picture's own rows.
struct OutputBuffer
{
    WebPDecBuffer* buffer;
    ~OutputBuffer() { WebPFreeDecBuffer(buffer); }
};

} // namespace

std::optional<DecodedPicture> readWebp(const QByteArray& bytes, QSize coverPixels,
                                       const PixelAllocator& allocate)
{
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        throw RuntimeError(ErrorNumber::InvalidPicture);
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    const auto size = static_cast<std::size_t>(bytes.size());
    if (WebPGetFeatures(data, size, &config.input) != VP8_STATUS_OK)
        throw RuntimeError(ErrorNumber::InvalidPicture);
    if (config.input.has_animation || hasColourProfile(bytes))
        return std::nullopt;

    const QSize ownSize(config.input.width, config.input.height);
    if (static_cast<qint64>(ownSize.width()) * ownSize.height() > protocol::kMaxPicturePixels)
        throw RuntimeError(ErrorNumber::OutOfMemory);
    const int factor = areaReductionFactor(ownSize, coverPixels);
    const QSize scaled((ownSize.width() + factor - 1) / factor,
                       (ownSize.height() + factor - 1) / factor);
    const bool alpha = config.input.has_alpha != 0;
    // Scaled pixels with alpha are averaged by it, as the other readers average them.
    const bool premultiplied = alpha && factor > 1;
    const QImage::Format format = !alpha          ? QImage::Format_RGB32
                                  : premultiplied ? QImage::Format_ARGB32_Premultiplied
                                                  : QImage::Format_ARGB32;
    QImage image = allocate(scaled, format);
    if (image.isNull())
        throw RuntimeError(ErrorNumber::OutOfMemory);

    // A lossy picture's in-loop filter runs on a second thread, a row of macroblocks behind.
    config.options.use_threads = 1;
    config.options.use_scaling = factor > 1 ? 1 : 0;
    config.options.scaled_width = scaled.width();
    config.options.scaled_height = scaled.height();
    config.output.colorspace = premultiplied ? kPremultipliedLayout : kArgb32Layout;
    config.output.is_external_memory = 1;
    config.output.width = scaled.width();
    config.output.height = scaled.height();
    config.output.u.RGBA.rgba = image.bits();
    config.output.u.RGBA.stride = static_cast<int>(image.bytesPerLine());
    config.output.u.RGBA.size = static_cast<std::size_t>(image.sizeInBytes());
    const OutputBuffer release{&config.output};
    if (WebPDecode(data, size, &config) != VP8_STATUS_OK)
        throw RuntimeError(ErrorNumber::InvalidPicture);
    return DecodedPicture{std::move(image), ownSize};
}

} // namespace kavelora::decoder
