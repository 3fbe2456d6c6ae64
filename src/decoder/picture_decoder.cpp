// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/picture_decoder.h"

#include "decoder/common/area_reducer.h"
#include "decoder/common/picture_prechecks.h"
#include "decoder/common/pixel_allocation.h"
#include "decoder/formats/bmp/bmp_reader.h"
#include "decoder/formats/gif/gif_reader.h"
#include "decoder/formats/jpeg/jpeg_reader.h"
#include "decoder/formats/png/png_reader.h"
#include "decoder/formats/tiff/tiff_reader.h"
#include "decoder/formats/webp/webp_reader.h"
#include "decoder/library_readers.h"
#include "platform/runtime_error.h"
#include "protocol/picture_limits.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>

#include <array>
#include <mutex>
#include <optional>
#include <variant>

namespace kavelora::decoder {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

constexpr std::array kJpegDenominators = {8, 4, 2, 1};

void raiseAllocationLimit()
{
    // Qt's default of 128 MiB refuses an ordinary 36-megapixel photo; the pixel cap keeps
    // every decode well inside the higher limit.
    static std::once_flag once;
    std::call_once(once,
                   [] { QImageReader::setAllocationLimit(protocol::kDecodeAllocationLimitMiB); });
}

qint64 pixelCount(QSize size)
{
    return static_cast<qint64>(size.width()) * size.height();
}

bool swapsSides(QImageIOHandler::Transformations transformation)
{
    return transformation.testFlag(QImageIOHandler::TransformationRotate90);
}

// libjpeg rounds each scaled side up.
QSize scaledBy(QSize size, int denominator)
{
    return QSize((size.width() + denominator - 1) / denominator,
                 (size.height() + denominator - 1) / denominator);
}

// The coarsest denominator covering target both ways within the pixel cap.
std::optional<int> jpegDenominator(QSize orientedSize, QSize target)
{
    for (int denominator : kJpegDenominators) {
        const QSize scaled = scaledBy(orientedSize, denominator);
        const bool coversTarget =
            scaled.width() >= target.width() && scaled.height() >= target.height();
        if ((coversTarget || denominator == 1) && pixelCount(scaled) <= protocol::kMaxPicturePixels)
            return denominator;
        if (coversTarget)
            break;
    }
    for (int denominator : {1, 2, 4, 8}) {
        if (pixelCount(scaledBy(orientedSize, denominator)) <= protocol::kMaxPicturePixels)
            return denominator;
    }
    return std::nullopt;
}

// Screens and printers take 8 bits per channel. A deeper picture would make every drawing
// and every scaling for print work on a converted copy two to four times its size.
QImage eightBitsPerChannel(QImage image)
{
    switch (image.format()) {
    case QImage::Format_Grayscale16:
        return image.convertToFormat(QImage::Format_Grayscale8);
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_RGBX16FPx4:
    case QImage::Format_RGBA16FPx4:
    case QImage::Format_RGBA16FPx4_Premultiplied:
    case QImage::Format_RGBX32FPx4:
    case QImage::Format_RGBA32FPx4:
    case QImage::Format_RGBA32FPx4_Premultiplied:
        return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                             : QImage::Format_RGB32);
    default:
        return image;
    }
}

// Every picture it returns is within the pixel cap, sRGB, 8 bits per channel.
class Reader
{
public:
    Reader(QIODevice& device, const QByteArray& format) { configure(device, format); }

    Reader(const QByteArray& bytes, const QByteArray& format)
    {
        m_buffer.setData(bytes);
        m_buffer.open(QIODevice::ReadOnly);
        configure(m_buffer, format);
    }

    QSize orientedSize()
    {
        const QSize rawSize = m_reader.size();
        return swapsSides(m_reader.transformation()) ? rawSize.transposed() : rawSize;
    }

    bool isAnimation() { return m_reader.supportsAnimation() && m_reader.imageCount() > 1; }

    bool isTransformed()
    {
        return m_reader.transformation() != QImageIOHandler::TransformationNone;
    }

    QIODevice& device() { return *m_reader.device(); }

    QString errorString() const { return m_reader.errorString(); }

    QImage read()
    {
        // Qt's PNG, TIFF and BMP readers fill an image of the right size and format that is
        // handed to them, so the pixels can land where the caller wants them.
        QImage image;
        const QSize size = m_reader.size();
        const QImage::Format format = m_reader.imageFormat();
        if (size.isValid() && format != QImage::Format_Invalid &&
            pixelCount(size) <= protocol::kMaxPicturePixels)
            image = allocatePixels(size, format);
        if (!m_reader.read(&image) || image.isNull())
            throw RuntimeError(ErrorNumber::InvalidPicture, m_reader.errorString());
        return finishedPixels(std::move(image));
    }

    QImage readJpeg(int denominator)
    {
        return finishedPixels(
            decoder::readJpeg(*m_reader.device(), denominator, m_reader.transformation()));
    }

private:
    void configure(QIODevice& device, const QByteArray& format)
    {
        raiseAllocationLimit();
        m_reader.setDevice(&device);
        m_reader.setFormat(format);
        m_reader.setAutoDetectImageFormat(false);
        m_reader.setAutoTransform(true);
    }

    QBuffer m_buffer;
    QImageReader m_reader;
};

bool isReducedByOwnReader(const QByteArray& format)
{
    return format == "png" || format == "webp" || format == "tiff";
}

// nullopt, with device where it was, for the kinds the format's reader leaves to Qt's.
std::optional<DecodedPicture> readReduced(const QByteArray& format, QIODevice& device,
                                          QSize coverPixels)
{
    if (format == "png")
        return readPng(device, coverPixels);
    if (format == "tiff")
        return readTiff(device, coverPixels);
    const qint64 start = device.pos();
    if (!device.seek(0))
        throw RuntimeError(ErrorNumber::InvalidPicture);
    std::optional<DecodedPicture> webp = readWebp(device.readAll(), coverPixels);
    if (!webp)
        device.seek(start);
    return webp;
}

// Raises OutOfMemory when even 1/8 is over the pixel cap.
int jpegScaleFor(QSize ownSize, QSize targetPixels)
{
    const std::optional<int> denominator = jpegDenominator(ownSize, targetPixels);
    if (!denominator)
        throw RuntimeError(ErrorNumber::OutOfMemory);
    return *denominator;
}

DecodedFile decodeWith(Reader& reader, const QByteArray& format, QSize coverPixels,
                       QSize decodedAlready)
{
    const QSize ownSize = reader.orientedSize();
    QSize decodedSize = ownSize;
    std::optional<int> libjpegDenominator;
    if (format == "jpeg" && ownSize.isValid()) {
        libjpegDenominator = jpegScaleFor(ownSize, coverPixels);
        decodedSize = scaledBy(ownSize, *libjpegDenominator);
    }
    if (ownSize.isValid() && pixelCount(decodedSize) > protocol::kMaxPicturePixels)
        throw RuntimeError(ErrorNumber::OutOfMemory);

    const bool animated = reader.isAnimation();
    if (ownSize.isValid() && decodedSize == decodedAlready)
        return {{QImage(), ownSize}, format, animated};
    std::optional<DecodedPicture> reducedByUs;
    if (isReducedByOwnReader(format) && !animated && !reader.isTransformed()) {
        const int factor = areaReductionFactor(ownSize, coverPixels);
        if (factor > 1 && scaledBy(ownSize, factor) == decodedAlready)
            return {{QImage(), ownSize}, format, animated};
        reducedByUs = readReduced(format, reader.device(), coverPixels);
    }
    if (reducedByUs)
        return {std::move(*reducedByUs), format, animated};
    QImage image = libjpegDenominator ? reader.readJpeg(*libjpegDenominator) : reader.read();
    // Qt's GIF reader tells the first image's size, which may be empty, yet decodes the
    // screen's.
    const QSize whole = ownSize.isEmpty() ? image.size() : ownSize;
    return {{std::move(image), whole}, format, animated};
}

// Raises when a header check fails on head, the start of a file of fileSize bytes; otherwise
// tells whether the checks need the whole file to decide.
HeadCheck raiseIfHeadChecksFail(const QByteArray& head, qint64 fileSize, const QByteArray& format)
{
    const HeadCheck content = precheckHead(head, fileSize, format);
    // A multi-scan JPEG is held whole as coefficients before any scaling can help.
    const HeadCheck buffers =
        format == "jpeg" ? jpegCoefficientsFit(head, fileSize) : HeadCheck::Passes;
    if (content == HeadCheck::Fails)
        throw RuntimeError(ErrorNumber::InvalidPicture);
    if (buffers == HeadCheck::Fails)
        throw RuntimeError(ErrorNumber::OutOfMemory);
    return content == HeadCheck::NeedsWholeFile || buffers == HeadCheck::NeedsWholeFile
               ? HeadCheck::NeedsWholeFile
               : HeadCheck::Passes;
}

enum class WholeRead {
    // GIF files are small, and their frames cost a pass over the whole file anyway.
    Gif,
    HeadIsWholeFile,
    HeadChecksNeedMore,
    BmpReadByUs,
    // HEIF, AVIF and JPEG XL libraries read from memory.
    ReadByLibrary,
    Animation,
};

// A copy of a large PNG or TIFF in memory would cost as much as its decode in page faults,
// and hold as much memory again.
std::variant<DecodedFile, WholeRead>
decodeStraightFromStream(PictureStream& stream, const QByteArray& head, const QByteArray& format,
                         QSize coverPixels, QSize decodedAlready)
{
    if (format == "gif")
        return WholeRead::Gif;
    if (head.size() >= stream.size())
        return WholeRead::HeadIsWholeFile;
    if (format == "bmp" && bmpNeedsWholeFile(head))
        return WholeRead::BmpReadByUs;
    if (libraryReaderFor(format))
        return WholeRead::ReadByLibrary;
    if (raiseIfHeadChecksFail(head, stream.size(), format) == HeadCheck::NeedsWholeFile)
        return WholeRead::HeadChecksNeedMore;
    Reader reader(stream.device(), format);
    if (reader.isAnimation())
        return WholeRead::Animation;
    return decodeWith(reader, format, coverPixels, decodedAlready);
}

} // namespace

QImage finishedPixels(QImage image)
{
    if (pixelCount(image.size()) > protocol::kMaxPicturePixels)
        throw RuntimeError(ErrorNumber::OutOfMemory);
    if (image.colorSpace().isValid() && image.colorSpace() != QColorSpace::SRgb)
        image.convertToColorSpace(QColorSpace::SRgb);
    return eightBitsPerChannel(std::move(image));
}

DecodedFile decodePicture(const QByteArray& bytes, QSize coverPixels, QSize decodedAlready)
{
    const QByteArray format = sniffPictureFormat(bytes);
    if (format.isEmpty())
        throw RuntimeError(ErrorNumber::InvalidPicture);
    raiseIfHeadChecksFail(bytes, bytes.size(), format);
    if (const LibraryReader readWithLibrary = libraryReaderFor(format))
        return {readWithLibrary(bytes, coverPixels), format, false};

    if (format == "bmp" && isRunLengthBmp(bytes)) {
        QImage image = readRunLengthBmp(bytes, protocol::kMaxPicturePixels, {});
        const QSize ownSize = image.size();
        return {{std::move(image), ownSize}, format, false};
    }
    if (format == "gif") {
        if (std::optional<DecodedPicture> still = readGif(bytes, coverPixels, decodedAlready))
            return {std::move(*still), format, false};
    }
    Reader reader(format == "bmp" ? withQtReadableBmpHeader(bytes) : bytes, format);
    return decodeWith(reader, format, coverPixels, decodedAlready);
}

DecodedFile decodePictureStream(PictureStream& stream, QSize coverPixels, QSize decodedAlready)
{
    const QByteArray head = stream.head(protocol::kPictureHeadBytes);
    const QByteArray format = sniffPictureFormat(head);
    if (format.isEmpty())
        throw RuntimeError(ErrorNumber::InvalidPicture);
    std::variant<DecodedFile, WholeRead> straight =
        decodeStraightFromStream(stream, head, format, coverPixels, decodedAlready);
    if (DecodedFile* decoded = std::get_if<DecodedFile>(&straight))
        return std::move(*decoded);
    return decodePicture(stream.readAll(), coverPixels, decodedAlready);
}

} // namespace kavelora::decoder
