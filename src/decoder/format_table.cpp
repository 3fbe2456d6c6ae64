// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/format_table.h"

#include "decoder/formats/avif/avif_format.h"
#include "decoder/formats/bmp/bmp_format.h"
#include "decoder/formats/gif/gif_format.h"
#include "decoder/formats/heif/heif_format.h"
#include "decoder/formats/icon/icon_formats.h"
#include "decoder/formats/jpeg/jpeg_format.h"
#include "decoder/formats/jxl/jxl_format.h"
#include "decoder/formats/netpbm/netpbm_formats.h"
#include "decoder/formats/png/png_format.h"
#include "decoder/formats/tiff/tiff_format.h"
#include "decoder/formats/webp/webp_format.h"
#include "decoder/formats/xbm/xbm_format.h"
#include "decoder/formats/xpm/xpm_format.h"

#include <array>

namespace kavelora::decoder {

namespace {

// Formats with a signature at a fixed place come before those told by text (XPM, the netpbm
// kinds, XBM), whose tests are looser.
const std::array kFormats = {
    &kHeifFormat, &kAvifFormat, &kJxlFormat, &kBmpFormat,  &kIcoFormat,  &kCurFormat,
    &kGifFormat,  &kJpegFormat, &kPngFormat, &kWebpFormat, &kTiffFormat, &kXpmFormat,
    &kPbmFormat,  &kPgmFormat,  &kPpmFormat, &kXbmFormat,
};

} // namespace

std::span<const PictureFormat* const> pictureFormats()
{
    return kFormats;
}

const PictureFormat* formatOfContent(QByteArrayView content)
{
    for (const PictureFormat* format : kFormats) {
        if (format->sniff(content))
            return format;
    }
    return nullptr;
}

const PictureFormat* formatNamed(std::string_view name)
{
    for (const PictureFormat* format : kFormats) {
        if (format->name == name)
            return format;
    }
    return nullptr;
}

QByteArray nameOf(const PictureFormat& format)
{
    return QByteArray(format.name.data(), static_cast<qsizetype>(format.name.size()));
}

QByteArray sniffPictureFormat(QByteArrayView content)
{
    const PictureFormat* format = formatOfContent(content);
    return format ? nameOf(*format) : QByteArray();
}

void loadFormatsBeforeLock()
{
    for (const PictureFormat* format : kFormats) {
        if (format->loadBeforeLock)
            format->loadBeforeLock();
    }
}

} // namespace kavelora::decoder
