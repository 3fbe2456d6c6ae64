// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "hevc_encoder.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QSize>

#include <array>
#include <optional>
#include <vector>

// HEIF files (ISO base media boxes) written from a plain description, for the reader tests.
namespace kavelora::tests {

// One property of an item: the whole box, and whether a reader must understand it.
struct HeifProperty
{
    QByteArray box;
    bool essential = false;
};

// Property boxes. ICC and nclx colour; clap as width, height and centre offsets, each a
// fraction; irot in quarter turns anticlockwise; imir axis 0 (vertical axis, left and right
// swap) or 1 (horizontal axis, top and bottom swap); auxC with its URN; clli in cd/m²; mdcv
// luminances in 0.0001 cd/m².
namespace heif_property {
HeifProperty ispe(QSize size);
HeifProperty hvcC(const QByteArray& configuration);
HeifProperty colrNclx(int primaries, int transfer, int matrix, bool fullRange);
HeifProperty colrIcc(const QByteArray& profile);
HeifProperty pixi(const QList<int>& bitsPerChannel);
struct Fraction
{
    qint32 numerator = 0;
    quint32 denominator = 1;
};
HeifProperty clap(Fraction width, Fraction height, Fraction horizontalOffset,
                  Fraction verticalOffset);
HeifProperty irot(int quarterTurns);
HeifProperty imir(int axis);
HeifProperty auxC(const QByteArray& urn);
HeifProperty clli(quint16 maxContentLight, quint16 maxFrameAverageLight);
HeifProperty mdcv(quint32 maxLuminance, quint32 minLuminance);
// Any box: a four-character type and its body, with a version and flags for a full box.
QByteArray box(const QByteArray& type, const QByteArray& body);
QByteArray fullBox(const QByteArray& type, int version, quint32 flags, const QByteArray& body);
} // namespace heif_property

constexpr auto kAlphaUrn = "urn:mpeg:mpegB:cicp:systems:auxiliary:alpha";
constexpr auto kHevcAlphaUrn = "urn:mpeg:hevc:2015:auxid:1";
constexpr auto kHevcDepthUrn = "urn:mpeg:hevc:2015:auxid:2";
constexpr auto kGainMapUrn = "urn:com:apple:photo:2020:aux:hdrgainmap";

struct HeifItem
{
    quint32 id = 0;
    // hvc1, grid, iovl, iden, Exif, mime.
    QByteArray type;
    QByteArray data;
    // Data in meta's idat (construction method 1) instead of mdat.
    bool inIdat = false;
    // Where the data is cut into a second extent; 0 keeps one.
    qsizetype splitAt = 0;
    bool hidden = false;
    QByteArray contentType;
    // For broken files: the construction method and the data length iloc claims instead.
    std::optional<int> constructionMethod;
    std::optional<quint32> claimedLength;
    std::vector<HeifProperty> properties;
};

struct HeifReference
{
    // dimg, auxl, thmb, cdsc.
    QByteArray type;
    quint32 from = 0;
    QList<quint32> to;
};

struct HeifFile
{
    QByteArray majorBrand = "heic";
    QList<QByteArray> brands = {"mif1", "heic"};
    quint32 primary = 1;
    std::vector<HeifItem> items;
    std::vector<HeifReference> references;
    // 32-bit item ids and 15-bit property indices: pitm v1, iinf v1, infe v3, iloc v2, iref v1,
    // ipma v1 with flags 1.
    bool wideFields = false;
    // iloc's version (v1, v2 when wide, unless given), the bytes of its offsets, lengths and
    // base offsets (4 or 8) and of its extent indices (0, 4 or 8; none in v0).
    std::optional<int> ilocVersion;
    int ilocFieldBytes = 4;
    int ilocIndexBytes = 0;
    // A box appended to meta as it stands (a test's broken or unknown box).
    QByteArray extraMetaBox;
};

// The file: ftyp, meta, then mdat. Properties equal byte for byte are stored once.
QByteArray writeHeif(const HeifFile& file);

// An item of type with data, no properties, visible, its data in mdat in one extent.
HeifItem heifItem(quint32 id, const QByteArray& type, const QByteArray& data = {});
// An hvc1 item of a coded picture with its hvcC and ispe, then the extra properties.
HeifItem codedItem(quint32 id, const HevcPicture& picture,
                   std::vector<HeifProperty> extraProperties = {});
// The data of a grid (rows and columns of tiles, cropped to outputSize) and of an overlay
// (canvas fill in 16 bits per channel, alpha last; offsets of the layers in order).
QByteArray gridData(int rows, int columns, QSize outputSize);
QByteArray overlayData(const std::array<quint16, 4>& fill, QSize outputSize,
                       const QList<QPoint>& offsets);

// A grid picture cut from picture into tiles of tileSize (edge tiles padded by repeating the
// last row and column), each coded with options: the grid is item 1 and primary, tiles 2 on,
// hidden.
HeifFile gridOfTiles(const QImage& picture, QSize tileSize, const HevcOptions& options = {});

// An image sequence: moov with one picture track (hvc1 sample entry of the first sample's
// configuration) and its samples in mdat, chunk offsets in stco or, when wide, co64.
// extraEntryBoxes follow hvcC in the sample entry (colr and the like).
QByteArray writeHeifSequence(const QList<HevcPicture>& samples, bool wideChunkOffsets = false,
                             const QByteArray& extraEntryBoxes = {});

} // namespace kavelora::tests
