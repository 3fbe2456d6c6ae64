// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/picture_decoder.h"

#include "picture/area_reducer.h"
#include "picture/bmp_reader.h"
#include "picture/jpeg_reader.h"
#include "picture/picture_prechecks.h"
#include "picture/png_reader.h"
#include "picture/tiff_reader.h"
#include "picture/webp_reader.h"
#include "platform/runtime_error.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>

#include <array>
#include <mutex>
#include <optional>
#include <variant>

namespace kavelora::picture {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

constexpr std::array kJpegDenominators = {8, 4, 2, 1};

void raiseAllocationLimit()
{
    // Qt's default of 128 MiB refuses an ordinary 36-megapixel photo; the pixel cap keeps
    // every decode well inside the higher limit.
    static std::once_flag once;
    std::call_once(once, [] { QImageReader::setAllocationLimit(kDecodeAllocationLimitMiB); });
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
        if ((coversTarget || denominator == 1) && pixelCount(scaled) <= kMaxPicturePixels)
            return denominator;
        if (coversTarget)
            break;
    }
    for (int denominator : {1, 2, 4, 8}) {
        if (pixelCount(scaledBy(orientedSize, denominator)) <= kMaxPicturePixels)
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
        QImage image;
        if (!m_reader.read(&image) || image.isNull())
            throw RuntimeError(ErrorNumber::InvalidPicture, m_reader.errorString());
        return finished(std::move(image));
    }

    QImage readJpeg(int denominator)
    {
        return finished(
            picture::readJpeg(*m_reader.device(), denominator, m_reader.transformation()));
    }

private:
    static QImage finished(QImage image)
    {
        if (pixelCount(image.size()) > kMaxPicturePixels)
            throw RuntimeError(ErrorNumber::OutOfMemory);
        if (image.colorSpace().isValid() && image.colorSpace() != QColorSpace::SRgb)
            image.convertToColorSpace(QColorSpace::SRgb);
        return eightBitsPerChannel(std::move(image));
    }

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

// Makes reader read its picture's headers, then tells whether file still holds what it held
// when it was opened, so that the headers read are the ones the checks saw.
bool headersReadFromOpenedContent(Reader& reader, const PictureFile& file)
{
    reader.orientedSize();
    return file.isUnchanged();
}

// Raises OutOfMemory when even 1/8 is over the pixel cap.
int jpegScaleFor(QSize ownSize, QSize targetPixels, const QString& fileName = {})
{
    const std::optional<int> denominator = jpegDenominator(ownSize, targetPixels);
    if (!denominator)
        throw RuntimeError(ErrorNumber::OutOfMemory, fileName);
    return *denominator;
}

// bytes are empty when the reader reads straight from file; a reduced JPEG keeps whichever
// it was read from, for finer decodes.
Picture decodeWith(Reader& reader, const QByteArray& format, const QByteArray& bytes,
                   const std::shared_ptr<PictureFile>& file, double logicalDpi, QSize screenPixels,
                   const QString& fileName)
{
    const QSize ownSize = reader.orientedSize();
    QSize decodedSize = ownSize;
    std::optional<int> libjpegDenominator;
    if (format == "jpeg" && ownSize.isValid()) {
        libjpegDenominator = jpegScaleFor(ownSize, screenPixels, fileName);
        decodedSize = scaledBy(ownSize, *libjpegDenominator);
    }
    if (ownSize.isValid() && pixelCount(decodedSize) > kMaxPicturePixels)
        throw RuntimeError(ErrorNumber::OutOfMemory, fileName);

    const bool animated = reader.isAnimation();
    std::optional<DecodedPicture> reducedByUs;
    if (isReducedByOwnReader(format) && !animated && !reader.isTransformed())
        reducedByUs = readReduced(format, reader.device(), screenPixels);
    const bool reduced = libjpegDenominator.value_or(1) > 1 ||
                         (reducedByUs && reducedByUs->image.size() != reducedByUs->ownSize);
    QImage image = reducedByUs          ? std::move(reducedByUs->image)
                   : libjpegDenominator ? reader.readJpeg(*libjpegDenominator)
                                        : reader.read();
    // Kept only where it is read again; any other screen copy is the whole picture.
    Picture::Source source{format, fileName, Picture::Source::Origin::UserFile, {}};
    if (animated || (reduced && !file))
        source.kept = bytes;
    else if (reduced)
        source.kept = file;
    return Picture(image, ownSize.isValid() ? ownSize : image.size(), logicalDpi, std::move(source),
                   animated ? Picture::Motion::Animated : Picture::Motion::Still);
}

QImage decodeJpegWith(Reader& reader, QSize targetPixels, const QImage& decodedAlready)
{
    const QSize ownSize = reader.orientedSize();
    if (!ownSize.isValid())
        throw RuntimeError(ErrorNumber::InvalidPicture, reader.errorString());
    const int denominator = jpegScaleFor(ownSize, targetPixels);
    if (scaledBy(ownSize, denominator) == decodedAlready.size())
        return decodedAlready;
    return reader.readJpeg(denominator);
}

// Raises when a header check fails on head, the start of a file of fileSize bytes; otherwise
// tells whether the checks need the whole file to decide.
HeadCheck raiseIfHeadChecksFail(const QByteArray& head, qint64 fileSize, const QByteArray& format,
                                const QString& fileName)
{
    const HeadCheck content = precheckHead(head, fileSize, format);
    // A multi-scan JPEG is held whole as coefficients before any scaling can help.
    const HeadCheck buffers =
        format == "jpeg" ? jpegCoefficientsFit(head, fileSize) : HeadCheck::Passes;
    if (content == HeadCheck::Fails)
        throw RuntimeError(ErrorNumber::InvalidPicture, fileName);
    if (buffers == HeadCheck::Fails)
        throw RuntimeError(ErrorNumber::OutOfMemory, fileName);
    return content == HeadCheck::NeedsWholeFile || buffers == HeadCheck::NeedsWholeFile
               ? HeadCheck::NeedsWholeFile
               : HeadCheck::Passes;
}

Picture decodeBytes(const QByteArray& bytes, const std::shared_ptr<PictureFile>& file,
                    double logicalDpi, QSize screenPixels, const QString& fileName)
{
    const QByteArray format = sniffPictureFormat(bytes);
    if (format.isEmpty())
        throw RuntimeError(ErrorNumber::InvalidPicture, fileName);
    raiseIfHeadChecksFail(bytes, bytes.size(), format, fileName);

    if (format == "bmp" && isRunLengthBmp(bytes))
        return Picture(readRunLengthBmp(bytes, kMaxPicturePixels, fileName), logicalDpi,
                       Picture::Source{format, fileName, Picture::Source::Origin::UserFile, {}});
    Reader reader(format == "bmp" ? withQtReadableBmpHeader(bytes) : bytes, format);
    return decodeWith(reader, format, bytes, file, logicalDpi, screenPixels, fileName);
}

enum class WholeRead {
    // Frames are played from the bytes.
    Gif,
    HeadIsWholeFile,
    HeadChecksNeedMore,
    BmpReadByUs,
    Animation,
    // The checks saw other headers than the decoder, or the decoder pixels from two files.
    FileChanged,
};

// A copy of a large PNG or TIFF in memory would cost as much as its decode in page faults,
// and hold as much memory again.
std::variant<Picture, WholeRead> decodeStraightFromFile(const std::shared_ptr<PictureFile>& file,
                                                        const QByteArray& head,
                                                        const QByteArray& format, double logicalDpi,
                                                        QSize screenPixels, const QString& fileName)
{
    if (format == "gif")
        return WholeRead::Gif;
    if (head.size() >= file->size())
        return WholeRead::HeadIsWholeFile;
    if (format == "bmp" && bmpNeedsWholeFile(head))
        return WholeRead::BmpReadByUs;
    if (raiseIfHeadChecksFail(head, file->size(), format, fileName) == HeadCheck::NeedsWholeFile)
        return WholeRead::HeadChecksNeedMore;
    Reader reader(file->device(), format);
    if (reader.isAnimation())
        return WholeRead::Animation;
    if (!headersReadFromOpenedContent(reader, *file))
        return WholeRead::FileChanged;
    Picture picture =
        decodeWith(reader, format, QByteArray(), file, logicalDpi, screenPixels, fileName);
    if (!file->isUnchanged())
        return WholeRead::FileChanged;
    return picture;
}

QImage decodeReducedWith(const QByteArray& format, QIODevice& device, QSize ownSize,
                         QSize targetPixels, const QImage& decodedAlready)
{
    const int factor = areaReductionFactor(ownSize, targetPixels);
    if (scaledBy(ownSize, factor) == decodedAlready.size())
        return decodedAlready;
    std::optional<DecodedPicture> finer = readReduced(format, device, targetPixels);
    return finer ? std::move(finer->image) : decodedAlready;
}

} // namespace

Picture decodePicture(const QByteArray& bytes, double logicalDpi, QSize screenPixels,
                      const QString& fileName)
{
    return decodeBytes(bytes, nullptr, logicalDpi, screenPixels, fileName);
}

Picture decodePictureFile(const std::shared_ptr<PictureFile>& file, double logicalDpi,
                          QSize screenPixels, const QString& fileName)
{
    const QByteArray head = file->head(kPictureHeadBytes);
    const QByteArray format = sniffPictureFormat(head);
    if (format.isEmpty())
        throw RuntimeError(ErrorNumber::InvalidPicture, fileName);
    std::variant<Picture, WholeRead> straight =
        decodeStraightFromFile(file, head, format, logicalDpi, screenPixels, fileName);
    if (Picture* picture = std::get_if<Picture>(&straight))
        return std::move(*picture);
    return decodeBytes(file->readAll(), file, logicalDpi, screenPixels, fileName);
}

QImage decodeJpegForSize(const QByteArray& bytes, QSize targetPixels, const QImage& decodedAlready)
{
    Reader reader(bytes, QByteArrayLiteral("jpeg"));
    return decodeJpegWith(reader, targetPixels, decodedAlready);
}

QImage decodeJpegFileForSize(PictureFile& file, QSize targetPixels, const QImage& decodedAlready)
{
    // A file written to since it was opened no longer holds the picture on screen: a finer
    // copy of something else, or of half of it, must not stand in for it.
    try {
        Reader reader(file.device(), QByteArrayLiteral("jpeg"));
        if (!headersReadFromOpenedContent(reader, file))
            return decodedAlready;
        QImage finer = decodeJpegWith(reader, targetPixels, decodedAlready);
        return file.isUnchanged() ? finer : decodedAlready;
    } catch (const RuntimeError&) {
        return decodedAlready;
    }
}

QImage decodeReducedForSize(const PictureSource& source, QSize ownSize, QSize targetPixels,
                            const QImage& decodedAlready)
{
    if (const auto* bytes = std::get_if<QByteArray>(&source.kept)) {
        QByteArray view = QByteArray::fromRawData(bytes->constData(), bytes->size());
        QBuffer buffer(&view);
        buffer.open(QIODevice::ReadOnly);
        return decodeReducedWith(source.format, buffer, ownSize, targetPixels, decodedAlready);
    }
    const auto* file = std::get_if<std::shared_ptr<PictureFile>>(&source.kept);
    if (!file || !(*file)->isUnchanged())
        return decodedAlready;
    try {
        QImage finer = decodeReducedWith(source.format, (*file)->device(), ownSize, targetPixels,
                                         decodedAlready);
        return (*file)->isUnchanged() ? finer : decodedAlready;
    } catch (const RuntimeError&) {
        return decodedAlready;
    }
}

} // namespace kavelora::picture
