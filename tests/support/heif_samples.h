// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "heif_writer.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

// HEIF files of the structures phones and cameras write, each with the picture it shows.
namespace kavelora::tests {

enum class HeifStructure {
    Single,
    OddSizeCropped,
    GridOddEdges,
    Overlay,
    IdentityRotated,
    IdentityRotatedMirrored,
    Alpha,
    ManyAuxiliaryImages,
    Sequence,
    TenBit,
    Nclx,
    Icc,
    LightLevels,
    // 32-bit item ids and 15-bit property indices.
    WideFields,
    // The coded data in two extents.
    SplitExtents,
    // 4:4:4 RGB coded losslessly (matrix coefficients 0), which shows the source exactly.
    LosslessRgb,
};

struct HeifSample
{
    QByteArray file;
    // What a reader shows, in ARGB32.
    QImage expected;
};

// A smooth picture with some edges in it, which a lossy coding keeps well.
QImage heifSourcePicture(QSize size);

// The file of one structure, built from heifSourcePicture.
HeifSample heifSample(HeifStructure structure);

// The NAL unit types of length-prefixed HEVC data; empty when the lengths do not fill it.
QList<int> hevcNalTypes(const QByteArray& data);

// The structure's name, as test rows and fixture files take it: "grid_odd_edges".
QString heifStructureName(HeifStructure structure);

} // namespace kavelora::tests
