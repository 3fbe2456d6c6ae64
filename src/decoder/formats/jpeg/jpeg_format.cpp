// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/jpeg/jpeg_format.h"

#include "decoder/common/finished_pixels.h"
#include "decoder/common/qt_picture_reader.h"
#include "decoder/formats/jpeg/jpeg_head_check.h"
#include "decoder/formats/jpeg/jpeg_reader.h"
#include "decoder/formats/jpeg/jpeg_scale.h"
#include "platform/runtime_error.h"

#include <array>

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

constexpr std::array<std::string_view, 1> kMimeTypes = {"image/jpeg"};
constexpr std::array<std::string_view, 3> kPatterns = {"*.jpg", "*.jpeg", "*.jpe"};

// A multi-scan JPEG is held whole as coefficients before any scaling can help: past the
// limit it is refused as too large, not as broken.
HeadCheck coefficientsFitMemory(const QByteArray& head, qint64 fileSize)
{
    const HeadCheck check = jpegCoefficientsFit(head, fileSize);
    if (check == HeadCheck::Fails)
        throw RuntimeError(ErrorNumber::OutOfMemory);
    return check;
}

std::optional<DecodedPicture> readJpegFile(PictureStream& source, const ReadRequest& request)
{
    // Qt's reader tells the size and the EXIF orientation; libjpeg decodes.
    QtPictureReader reader(source.device(), "jpeg");
    const QSize ownSize = reader.orientedSize();
    if (!ownSize.isValid())
        return std::nullopt;
    const std::optional<int> denominator = jpegDenominator(ownSize, request.cover);
    if (!denominator)
        throw RuntimeError(ErrorNumber::OutOfMemory);
    if (jpegScaledSize(ownSize, *denominator) == request.held)
        return DecodedPicture{QImage(), ownSize};
    QImage image =
        readJpeg(reader.device(), *denominator, reader.transformation(), request.allocate);
    return DecodedPicture{finishedPixels(std::move(image)), ownSize};
}

} // namespace

extern const PictureFormat kJpegFormat{
    .name = "jpeg",
    .title = "JPEG",
    .mimeTypes = kMimeTypes,
    .namePatterns = kPatterns,
    .sniff = [](QByteArrayView head) { return head.startsWith("\xFF\xD8\xFF"); },
    .checkHead = coefficientsFitMemory,
    .read = readJpegFile,
};

} // namespace kavelora::decoder
