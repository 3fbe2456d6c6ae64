// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/picture_format.h"

#include <QByteArray>
#include <QByteArrayView>

#include <span>
#include <string_view>

namespace kavelora::decoder {

// Every format the helper reads, in the order their sniffs are tried.
std::span<const PictureFormat* const> pictureFormats();

// The first format whose sniff takes content, or null.
const PictureFormat* formatOfContent(QByteArrayView content);

// The format called name ("png"), or null.
const PictureFormat* formatNamed(std::string_view name);

// format's name as Qt names it: "png".
QByteArray nameOf(const PictureFormat& format);

// The name of the format content starts like, or empty. The file's name never decides it.
QByteArray sniffPictureFormat(QByteArrayView content);

// Runs every format's loadBeforeLock, so that a process may lock itself down before it
// decodes anything.
void loadFormatsBeforeLock();

} // namespace kavelora::decoder
