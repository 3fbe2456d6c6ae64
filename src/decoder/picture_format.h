// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/common/decoded_picture.h"
#include "decoder/common/picture_stream.h"
#include "decoder/common/pixel_allocation.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QSize>

#include <optional>
#include <span>
#include <string_view>

namespace kavelora::decoder {

// What a format's head check decides from the first kPictureHeadBytes of a file.
enum class HeadCheck { Passes, Fails, NeedsWholeFile };

// What one read is asked for.
struct ReadRequest
{
    // The size the picture should cover both ways where the format can decode smaller.
    QSize cover;
    // The size of the copy the caller holds already: a read that would give exactly this size
    // leaves the image null. Empty when nothing is held.
    QSize held;
    // Where the output pixels go.
    PixelAllocator allocate = plainPixels;
};

// One picture format the helper reads: what it is called, how its content is told apart, and
// how it is read. Each format's folder defines one, and the format table lists them all.
struct PictureFormat
{
    // The short name the helper reports, as Qt names the format: "png", "jpeg".
    std::string_view name;
    // What a person calls it, for the manual page: "bitmap", "JPEG XL".
    std::string_view title;
    // What the open dialog's Japanese file-type list calls it where Japanese has a word of
    // its own ("ビットマップ"); empty where Japanese keeps the title ("JPEG").
    std::string_view japaneseTitle = {};
    std::span<const std::string_view> mimeTypes;
    // File-name patterns for the open dialog: "*.png".
    std::span<const std::string_view> namePatterns;

    // Whether content starting with head is this format. The file's name never decides.
    bool (*sniff)(QByteArrayView head) = nullptr;
    // Checks on the head of a file of fileSize bytes, made before anything is allocated for
    // it; none when null. A check may raise RuntimeError itself where the fault is not a
    // broken file (OutOfMemory for buffers past a limit); Fails means InvalidPicture.
    HeadCheck (*checkHead)(const QByteArray& head, qint64 fileSize) = nullptr;
    // What the format sets up before the helper locks itself down: libraries, plugins,
    // tables. Nothing when null.
    void (*loadBeforeLock)() = nullptr;

    // The picture in source as request asks; the caller fills in its format. nullopt ("not
    // mine") hands the file to Qt's reader for this format (common/qt_picture_reader.h); a
    // null read hands it every file. Raises RuntimeError: InvalidPicture for a broken file,
    // OutOfMemory past the pixel cap or when the memory cannot be had.
    std::optional<DecodedPicture> (*read)(PictureStream& source,
                                          const ReadRequest& request) = nullptr;
};

} // namespace kavelora::decoder
