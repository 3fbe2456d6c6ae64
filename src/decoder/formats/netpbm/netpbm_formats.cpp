// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/netpbm/netpbm_formats.h"

#include <array>

namespace kavelora::decoder {

namespace {

constexpr std::array<std::string_view, 1> kPbmMimeTypes = {"image/x-portable-bitmap"};
constexpr std::array<std::string_view, 1> kPbmPatterns = {"*.pbm"};
constexpr std::array<std::string_view, 1> kPgmMimeTypes = {"image/x-portable-graymap"};
constexpr std::array<std::string_view, 1> kPgmPatterns = {"*.pgm"};
constexpr std::array<std::string_view, 1> kPpmMimeTypes = {"image/x-portable-pixmap"};
constexpr std::array<std::string_view, 1> kPpmPatterns = {"*.ppm"};

bool isNetpbmSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || c == '#';
}

// "P", the kind's plain or raw digit, then white space or a comment.
bool startsAsNetpbm(QByteArrayView head, char plain, char raw)
{
    return head.size() >= 3 && head[0] == 'P' && (head[1] == plain || head[1] == raw) &&
           isNetpbmSpace(head[2]);
}

} // namespace

extern const PictureFormat kPbmFormat{
    .name = "pbm",
    .title = "PBM",
    .mimeTypes = kPbmMimeTypes,
    .namePatterns = kPbmPatterns,
    .sniff = [](QByteArrayView head) { return startsAsNetpbm(head, '1', '4'); },
};

extern const PictureFormat kPgmFormat{
    .name = "pgm",
    .title = "PGM",
    .mimeTypes = kPgmMimeTypes,
    .namePatterns = kPgmPatterns,
    .sniff = [](QByteArrayView head) { return startsAsNetpbm(head, '2', '5'); },
};

extern const PictureFormat kPpmFormat{
    .name = "ppm",
    .title = "PPM",
    .mimeTypes = kPpmMimeTypes,
    .namePatterns = kPpmPatterns,
    .sniff = [](QByteArrayView head) { return startsAsNetpbm(head, '3', '6'); },
};

} // namespace kavelora::decoder
