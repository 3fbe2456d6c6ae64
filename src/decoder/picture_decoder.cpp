// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/picture_decoder.h"

#include "decoder/common/qt_picture_reader.h"
#include "decoder/format_table.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <optional>

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

void raiseIfFails(HeadCheck check)
{
    if (check == HeadCheck::Fails)
        throw RuntimeError(ErrorNumber::InvalidPicture);
}

// The format's own reader, or Qt's for what it leaves.
DecodedPicture readAs(const PictureFormat& format, PictureStream& source,
                      const ReadRequest& request)
{
    std::optional<DecodedPicture> decoded =
        format.read ? format.read(source, request) : std::nullopt;
    if (!decoded)
        decoded = readWithQt(source.device(), nameOf(format), request);
    decoded->format = nameOf(format);
    return std::move(*decoded);
}

} // namespace

DecodedPicture decodePicture(const QByteArray& bytes, QSize coverPixels, QSize decodedAlready,
                             const PixelAllocator& allocate)
{
    PictureStream stream(bytes);
    return decodePictureStream(stream, coverPixels, decodedAlready, allocate);
}

DecodedPicture decodePictureStream(PictureStream& stream, QSize coverPixels, QSize decodedAlready,
                                   const PixelAllocator& allocate)
{
    const QByteArray head = stream.head(protocol::kPictureHeadBytes);
    const PictureFormat* format = formatOfContent(head);
    if (!format)
        throw RuntimeError(ErrorNumber::InvalidPicture);
    const ReadRequest request{coverPixels, decodedAlready.isEmpty() ? QSize() : decodedAlready,
                              allocate};
    if (format->checkHead) {
        const HeadCheck check = format->checkHead(head, stream.size());
        raiseIfFails(check);
        if (check == HeadCheck::NeedsWholeFile) {
            // The checks decide on the whole file, which the reader then takes from memory.
            PictureStream whole(stream.readAll());
            const QByteArray bytes = whole.readAll();
            raiseIfFails(format->checkHead(bytes, bytes.size()));
            return readAs(*format, whole, request);
        }
    }
    return readAs(*format, stream, request);
}

} // namespace kavelora::decoder
