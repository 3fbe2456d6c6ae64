// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QRect>
#include <QSize>

#include <cstdint>

// GIFs written by giflib's encoder, and the ways the reader tests change them.
namespace kavelora::tests {

// Where the logical screen descriptor ends, and the global colour table starts.
inline constexpr qsizetype kScreenDescriptorEnd = 13;

struct GifLayout
{
    QSize screen;
    // The image's place on the screen; the whole screen when empty.
    QRect image;
    int globalColours = 0;
    int localColours = 0;
    bool graphicControl = false;
    int transparentIndex = -1;
    bool interlaced = false;
    int images = 1;
};

// A GIF of layout whose every image holds the same indices, in bands with scattered detail
// drawn from seed; empty when giflib cannot start.
QByteArray encodedGif(const GifLayout& layout, std::uint64_t seed = 1);

// One image filling a screen of size, over a global table of globalColours.
GifLayout still(QSize size, int globalColours);

// layout with a graphic control block naming index transparent.
GifLayout transparent(GifLayout layout, int index);

// gif with raw bytes put in before its first block, after the global colour table.
QByteArray withBlockFirst(QByteArray gif, int globalColours, const QByteArray& block);

// A GIF written with a table of 256 colours, whose table is then cut to its first four: its
// indices run past the table.
QByteArray indicesPastTable(bool withTransparency);

// gif, written without extensions or a local table, with both descriptors claiming size.
QByteArray claimingSize(QByteArray gif, int globalColours, QSize size);

} // namespace kavelora::tests
