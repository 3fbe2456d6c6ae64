// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QImage>

#include <cstdio>

#include <jpeglib.h>

// JPEGs Qt's writer cannot make, and the picture the JPEG tests encode.
namespace kavelora::tests {

// Smooth colour and fine detail, so that scaling and chroma subsampling both show.
QImage detailedPhoto(QSize size, QImage::Format format = QImage::Format_RGB32);

// A JPEG of size whose components are given to libjpeg as input and stored as stored.
QByteArray libjpegFile(QSize size, int components, J_COLOR_SPACE input, J_COLOR_SPACE stored);

} // namespace kavelora::tests
