// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/xpm/xpm_format.h"

#include <array>

namespace kavelora::decoder {

namespace {

constexpr std::array<std::string_view, 1> kMimeTypes = {"image/x-xpixmap"};
constexpr std::array<std::string_view, 1> kPatterns = {"*.xpm"};

} // namespace

extern const PictureFormat kXpmFormat{
    .name = "xpm",
    .title = "XPM",
    .mimeTypes = kMimeTypes,
    .namePatterns = kPatterns,
    .sniff = [](QByteArrayView head) { return head.startsWith("/* XPM"); },
};

} // namespace kavelora::decoder
