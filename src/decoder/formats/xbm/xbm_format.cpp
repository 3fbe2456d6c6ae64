// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/xbm/xbm_format.h"

#include <algorithm>
#include <array>

namespace kavelora::decoder {

namespace {

constexpr std::array<std::string_view, 1> kMimeTypes = {"image/x-xbitmap"};
constexpr std::array<std::string_view, 1> kPatterns = {"*.xbm"};

// An X bitmap is C source: "#define name_width 16" first, perhaps after blank lines.
bool looksLikeXbm(QByteArrayView bytes)
{
    const QByteArrayView head = bytes.first(std::min<qsizetype>(bytes.size(), 1024)).trimmed();
    if (!head.startsWith("#define"))
        return false;
    const qsizetype lineEnd = head.indexOf('\n');
    return head.first(lineEnd < 0 ? head.size() : lineEnd).contains("_width");
}

} // namespace

extern const PictureFormat kXbmFormat{
    .name = "xbm",
    .title = "XBM",
    .mimeTypes = kMimeTypes,
    .namePatterns = kPatterns,
    .sniff = looksLikeXbm,
};

} // namespace kavelora::decoder
