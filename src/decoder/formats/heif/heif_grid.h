// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QSize>

#include <optional>

namespace kavelora::decoder {

// The size the grid that is the primary picture of the HEIF in bytes declares. libheif makes
// a grid picture that large whatever size its item claims, and tells only the claim before
// decoding. nullopt when the primary picture is no grid or the boxes naming it cannot be read,
// which libheif then judges; an empty size for a grid whose data cannot be read; a side past
// INT_MAX reads as INT_MAX.
std::optional<QSize> heifGridSize(const QByteArray& bytes);

} // namespace kavelora::decoder
