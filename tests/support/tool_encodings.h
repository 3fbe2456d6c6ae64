// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

// HEIF, AVIF and JPEG XL pictures made by Debian's encoders: heif-enc, avifenc and cjxl.
namespace kavelora::tests {

// The options with which format's encoder keeps every sample exactly.
QStringList losslessOptions(const QString& format);

// source encoded as format ("heif", "avif" or "jxl") by its encoder with options, through
// files in folder; empty when the encoder is not installed. An encoder that fails ends the
// run with its message.
QByteArray encodedByTool(const QString& format, const QImage& source, const QStringList& options,
                         const QString& folder);

} // namespace kavelora::tests
