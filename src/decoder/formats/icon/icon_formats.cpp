// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/icon/icon_formats.h"

#include <array>

namespace kavelora::decoder {

namespace {

// An icon directory starts with a reserved zero, then its kind: 1 for icons, 2 for cursors.
constexpr QByteArrayView kIconStart("\0\0\1\0", 4);
constexpr QByteArrayView kCursorStart("\0\0\2\0", 4);

constexpr std::array<std::string_view, 2> kIcoMimeTypes = {"image/vnd.microsoft.icon",
                                                           "image/x-icon"};
constexpr std::array<std::string_view, 1> kIcoPatterns = {"*.ico"};
constexpr std::array<std::string_view, 1> kCurMimeTypes = {"image/x-win-bitmap"};
constexpr std::array<std::string_view, 1> kCurPatterns = {"*.cur"};

} // namespace

extern const PictureFormat kIcoFormat{
    .name = "ico",
    .title = "icon",
    .japaneseTitle = "アイコン",
    .mimeTypes = kIcoMimeTypes,
    .namePatterns = kIcoPatterns,
    .sniff = [](QByteArrayView head) { return head.startsWith(kIconStart); },
};

extern const PictureFormat kCurFormat{
    .name = "cur",
    .title = "cursor",
    .japaneseTitle = "カーソル",
    .mimeTypes = kCurMimeTypes,
    .namePatterns = kCurPatterns,
    .sniff = [](QByteArrayView head) { return head.startsWith(kCursorStart); },
};

} // namespace kavelora::decoder
