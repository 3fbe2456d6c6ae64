// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QImage>

// WebPs written by libwebp, and the pictures the WebP tests encode.
namespace kavelora::tests {

// Smooth colour with a little detail and, when withAlpha, a fading alpha: what a photo or a
// drawing with a soft edge holds.
QImage softPhoto(QSize size, bool withAlpha);

// image as a lossless WebP, or a lossy one at quality 90.
QByteArray webpFile(const QImage& image, bool lossless);

} // namespace kavelora::tests
