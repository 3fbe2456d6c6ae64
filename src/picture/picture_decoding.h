// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/picture_file.h"

#include <QByteArray>
#include <QFuture>
#include <QImage>
#include <QSize>

#include <cstdint>
#include <memory>
#include <optional>

namespace kavelora::picture {

// What decoding a file, or one frame of an animation, gives back.
struct DecodeResult
{
    // Null when the decode would have given the size held already.
    QImage image;
    // The whole picture's size after orientation.
    QSize ownSize;
    QByteArray format;
    bool animated = false;
    int delayMs = 0;
    // How many times the animation plays again after the first time; -1 for ever.
    int loopCount = 0;
    // Which frame of an animation this is: the one asked for, or the first when the decoder
    // could not go on from the one before.
    int frameIndex = 0;
};

// Decodes picture files for the window, its animations and printing. Each request hands back
// at once a future through which its result comes later, from the GUI thread's event loop, or
// the RuntimeError that ended it: DeviceTimeout past the time limit, DeviceUnavailable when no
// decoder can run, InvalidPicture or what the decoder reported. The request holds the file
// until it is done; a request cancelled before its turn is not made.
class PictureDecoding
{
public:
    virtual ~PictureDecoding() = default;

    // file decoded covering coverPixels both ways where its format decodes smaller; the image
    // is null when that would give heldPixels, the size of the copy held already.
    virtual QFuture<DecodeResult> decode(std::shared_ptr<PictureFile> file, QSize coverPixels,
                                         QSize heldPixels = {}) = 0;
    // The frame numbered index of the animation in file, or its first frame when the decoder
    // would have to decode every frame before index again; nothing past the last frame.
    // animation, from newAnimation, tells one playing animation from another.
    virtual QFuture<std::optional<DecodeResult>> frame(std::shared_ptr<PictureFile> file,
                                                       std::uint32_t animation, int index) = 0;
    virtual std::uint32_t newAnimation() = 0;
};

} // namespace kavelora::picture
