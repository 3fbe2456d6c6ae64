// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/codec_samples.h"

#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>
#include <optional>
#include <variant>
#include <vector>

namespace kavelora::decoder::heif {

// Where in the file a piece of an item's data lies. Checked to lie within the file.
struct FileExtent
{
    qint64 offset = 0;
    qint64 length = 0;
};

// An HEVC coded picture: the decoder configuration (the body of its hvcC property) and its
// data, length-prefixed NAL units, spread over extents that are read one after another.
struct CodedImage
{
    QByteArray configuration;
    std::vector<FileExtent> data;
};

// Tiles of one size laid out in rows; the picture is the top left outputSize of them.
struct GridImage
{
    int rows = 0;
    int columns = 0;
    QSize outputSize;
    // Indices into ImagePlan::nodes, row by row.
    std::vector<int> tiles;
};

// Pictures drawn in order onto a canvas of one colour.
struct OverlayImage
{
    // 16 bits per channel, alpha last.
    std::array<quint16, 4> canvasFill{};
    QSize outputSize;
    struct Layer
    {
        int node = 0;
        QPoint offset;
    };
    std::vector<Layer> layers;
};

// The picture of another item, with transforms of its own.
struct IdentityImage
{
    int node = 0;
};

// What one transformative property does, in the order the item lists them.
struct ImageTransform
{
    enum class Kind { Crop, Rotation, Mirror };
    Kind kind = Kind::Crop;
    // Crop: the part kept, in the pixels of the picture as the transforms before left it.
    QRect kept;
    // Rotation: quarter turns anticlockwise, 0 to 3.
    int quarterTurns = 0;
    // Mirror: true swaps left and right, false top and bottom.
    bool leftRight = false;
};

struct ImageNode
{
    std::variant<CodedImage, GridImage, OverlayImage, IdentityImage> content;
    // The size before transforms (ispe, or what a derivation says).
    QSize size;
    std::vector<ImageTransform> transforms;
};

// How YCbCr samples become RGB: from the nclx colour property, else the defaults.
struct SampleCoding
{
    int matrixCoefficients = 6;
    bool fullRange = true;
    // Whether an nclx property gave the two above; when not, the coded stream's VUI says
    // (libheif 1.15 shows such pictures by their VUI).
    bool fromColourProperty = false;
    // Luma and chroma bits (pixi), where given; the coded stream says otherwise.
    std::optional<int> bitDepth;
};

// Everything needed to decode a HEIF's primary picture, checked against the file and the caps.
struct ImagePlan
{
    std::vector<ImageNode> nodes;
    int primary = 0;
    // A node whose luma is the primary picture's alpha, at the primary picture's size.
    std::optional<int> alpha;
    CodecColour colour;
    SampleCoding coding;
};

// The plan of the primary picture of the HEIF in file: its items' tree from meta, or the first
// picture of an image sequence's track when meta names none. Throws platform::RuntimeError:
// OutOfMemory for a picture past the caps (protocol/picture_limits.h), InvalidPicture for a
// broken or unsupported one.
ImagePlan planPrimaryImage(const QByteArray& file);

} // namespace kavelora::decoder::heif
