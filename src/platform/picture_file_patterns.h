// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>

namespace kavelora::platform {

// One picture format as the open dialog's file-type list offers it.
struct PictureFileKind
{
    // What the Japanese interface calls the format: "ビットマップ", "JPEG".
    QString title;
    // Its file-name patterns, separated by spaces: "*.bmp *.dib".
    QString patterns;
};

// Both generated at build time from the decoder helper's format table, which the viewer does
// not link.

// The file-name patterns of every picture format the decoder helper reads, separated by
// spaces ("*.heic *.heif *.avif ..."), in the table's order.
QString pictureFilePatterns();

// Every picture format the decoder helper reads, in the table's order.
QList<PictureFileKind> pictureFileKinds();

} // namespace kavelora::platform
