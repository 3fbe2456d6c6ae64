// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "in_process_decoding.h"

#include "decoder/picture_decoder.h"
#include "picture/when_finished.h"

#include <QCoreApplication>
#include <QPromise>
#include <QTimer>

namespace kavelora::tests {

using picture::DecodeResult;

namespace {

QString sizeText(QSize size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

} // namespace

QFuture<DecodeResult> InProcessDecoding::decode(std::shared_ptr<picture::PictureFile> file,
                                                QSize coverPixels, QSize heldPixels)
{
    calls.append(
        heldPixels.isValid()
            ? QStringLiteral("decode %1 held %2").arg(sizeText(coverPixels), sizeText(heldPixels))
            : QStringLiteral("decode %1").arg(sizeText(coverPixels)));
    return delivered(picture::finishedFuture<DecodeResult>([&] {
        decoder::DecodedPicture decoded =
            decoder::decodePicture(file->readAll(), coverPixels, heldPixels);
        return DecodeResult{
            std::move(decoded.image), decoded.ownSize, decoded.format, decoded.animated, 0, 0, 0};
    }));
}

QFuture<std::optional<DecodeResult>>
InProcessDecoding::frame(std::shared_ptr<picture::PictureFile> file, std::uint32_t animation,
                         int index)
{
    calls.append(QStringLiteral("frame %1 #%2").arg(animation).arg(index));
    return delivered(picture::finishedFuture<std::optional<DecodeResult>>([&] {
        std::unique_ptr<decoder::FrameReader>& reader = m_playing[animation];
        // As the helper does: one not at the frame asked for starts again from the first.
        if (!reader || reader->framesRead() != index) {
            const QByteArray bytes = file->readAll();
            const QByteArray format = decoder::decodePicture(bytes, QSize(1, 1)).format;
            reader = std::make_unique<decoder::FrameReader>(bytes, format);
        }
        const int read = reader->framesRead();
        std::optional<decoder::FrameReader::Frame> next = reader->next();
        if (!next)
            return std::optional<DecodeResult>();
        const QSize size = next->image.size();
        return std::optional(DecodeResult{std::move(next->image), size, QByteArray(), true,
                                          std::max(next->delayMs, 0), reader->loopCount(), read});
    }));
}

template<typename Result> QFuture<Result> InProcessDecoding::delivered(QFuture<Result> done)
{
    auto promise = std::make_shared<QPromise<Result>>();
    promise->start();
    QTimer::singleShot(deliveryDelayMs, QCoreApplication::instance(), [promise, done] {
        picture::fulfil(*promise, [&] { return picture::finishedResult(done); });
    });
    return promise->future();
}

std::shared_ptr<InProcessDecoding> inProcessDecoding()
{
    return std::make_shared<InProcessDecoding>();
}

} // namespace kavelora::tests
