// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>

#include <initializer_list>

namespace kavelora::decoder {

// Whether the ISO base media file starting with head names any of brands in its ftyp box,
// as its major brand or a compatible one. False for content that is no such file.
bool hasIsoMediaBrand(QByteArrayView head, std::initializer_list<QByteArrayView> brands);

} // namespace kavelora::decoder
