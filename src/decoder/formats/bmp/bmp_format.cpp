// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/bmp/bmp_format.h"

#include "decoder/common/qt_picture_reader.h"
#include "decoder/formats/bmp/bmp_head_check.h"
#include "decoder/formats/bmp/bmp_reader.h"
#include "protocol/picture_limits.h"

#include <QBuffer>

#include <array>

namespace kavelora::decoder {

namespace {

constexpr std::array<std::string_view, 3> kMimeTypes = {"image/bmp", "image/x-bmp",
                                                        "image/x-ms-bmp"};
constexpr std::array<std::string_view, 2> kPatterns = {"*.bmp", "*.dib"};

// Run-length coded files and headers Qt cannot read take the whole file; Qt's reader reads
// the rest straight from the stream.
std::optional<DecodedPicture> readBmpFile(PictureStream& source, const ReadRequest& request)
{
    if (!bmpNeedsWholeFile(source.head(protocol::kPictureHeadBytes)))
        return std::nullopt;
    const QByteArray bytes = source.readAll();
    if (isRunLengthBmp(bytes)) {
        QImage image = readRunLengthBmp(bytes, protocol::kMaxPicturePixels, {}, request.allocate);
        const QSize ownSize = image.size();
        return DecodedPicture{std::move(image), ownSize};
    }
    QBuffer rewritten;
    rewritten.setData(withQtReadableBmpHeader(bytes));
    rewritten.open(QIODevice::ReadOnly);
    return readWithQt(rewritten, "bmp", request);
}

} // namespace

extern const PictureFormat kBmpFormat{
    .name = "bmp",
    .title = "bitmap",
    .japaneseTitle = "ビットマップ",
    .mimeTypes = kMimeTypes,
    .namePatterns = kPatterns,
    // Shorter than a file header and the smallest information header, it is no bitmap.
    .sniff = [](QByteArrayView head) { return head.startsWith("BM") && head.size() >= 26; },
    .checkHead = bmpPixelsFitFile,
    .read = readBmpFile,
};

} // namespace kavelora::decoder
