// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/picture_decoder.h"

#include "picture/bmp_reader.h"
#include "picture/jpeg_reader.h"
#include "picture/picture_prechecks.h"
#include "platform/runtime_error.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>

#include <array>
#include <mutex>

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

// libjpeg's scaled output: each side divided by denominator, rounded up.
QSize scaledBy(QSize size, int denominator)
{
    return QSize((size.width() + denominator - 1) / denominator,
                 (size.height() + denominator - 1) / denominator);
}

// The coarsest denominator whose picture still covers target on both sides and stays within
// the pixel cap; 0 when even 1/8 is over the cap.
int jpegDenominator(QSize orientedSize, QSize target)
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
    // Covering the target would need more pixels than the cap: take the finest that fits.
    for (int denominator : {1, 2, 4, 8}) {
        if (pixelCount(scaledBy(orientedSize, denominator)) <= kMaxPicturePixels)
            return denominator;
    }
    return 0;
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

class Reader
{
public:
    Reader(QIODevice& device, const QByteArray& format) { configure(device, format); }

    Reader(const QByteArray& bytes, const QByteArray& format)
    {
        // setData shares the bytes; nothing is copied.
        m_buffer.setData(bytes);
        m_buffer.open(QIODevice::ReadOnly);
        configure(m_buffer, format);
    }

    QImageReader& operator*() { return m_reader; }
    QImageReader* operator->() { return &m_reader; }

    QImage read()
    {
        QImage image;
        if (!m_reader.read(&image) || image.isNull())
            throw RuntimeError(ErrorNumber::InvalidPicture, m_reader.errorString());
        return finished(std::move(image));
    }

    // Reads a JPEG at 1/denominator through libjpeg directly, from the start of the device
    // whose headers this reader has read.
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
        // Colours are drawn as sRGB; a picture with its own profile is converted in place.
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

// The size of the picture reader reads, after orientation.
QSize orientedSize(Reader& reader)
{
    const QSize rawSize = reader->size();
    return swapsSides(reader->transformation()) ? rawSize.transposed() : rawSize;
}

// Makes reader read its picture's headers, then tells whether file still holds what it held
// when it was opened, so that the headers read are the ones the checks saw.
bool headersReadFromOpenedContent(Reader& reader, const PictureFile& file)
{
    reader->size();
    return file.isUnchanged();
}

// The denominator to decode a JPEG of ownSize, once oriented, at the coarsest scale that still
// covers targetPixels. Raises ErrorNumber::OutOfMemory when even 1/8 is over the pixel cap.
int jpegScaleFor(QSize ownSize, QSize targetPixels, const QString& fileName = {})
{
    const int denominator = jpegDenominator(ownSize, targetPixels);
    if (denominator == 0)
        throw RuntimeError(ErrorNumber::OutOfMemory, fileName);
    return denominator;
}

// The picture reader reads, at reduced scale where a JPEG allows. bytes are the whole file
// when it was read into memory, and empty when the reader reads straight from the file; file
// is the open file it came from, if any, kept instead of bytes by a reduced JPEG.
Picture decodeWith(Reader& reader, const QByteArray& format, const QByteArray& bytes,
                   const std::shared_ptr<PictureFile>& file, double logicalDpi, QSize screenPixels,
                   const QString& fileName)
{
    const QSize ownSize = orientedSize(reader);
    QSize decodedSize = ownSize;
    // A JPEG whose headers were read is decoded by libjpeg at 1/scale; anything else by Qt.
    int scale = 0;
    if (format == "jpeg" && ownSize.isValid()) {
        scale = jpegScaleFor(ownSize, screenPixels, fileName);
        decodedSize = scaledBy(ownSize, scale);
    }
    const bool reduced = scale > 1;
    if (ownSize.isValid() && pixelCount(decodedSize) > kMaxPicturePixels)
        throw RuntimeError(ErrorNumber::OutOfMemory, fileName);

    const bool animated = reader->supportsAnimation() && reader->imageCount() > 1;
    QImage image = scale > 0 ? reader.readJpeg(scale) : reader.read();
    // The source is kept only where it is read again: for a finer decode of a reduced copy
    // and for the frames of an animation. Any other screen copy is the whole picture.
    Picture::Source source{QByteArray(), format, fileName, nullptr};
    if (animated || (reduced && !file))
        source.bytes = bytes;
    else if (reduced)
        source.file = file;
    return Picture(image, ownSize.isValid() ? ownSize : image.size(), logicalDpi, std::move(source),
                   animated ? Picture::Motion::Animated : Picture::Motion::Still);
}

// Formats read whole before decoding: a GIF, whose frames are played from its bytes.
bool isReadWhole(const QByteArray& format)
{
    return format == "gif";
}

// The JPEG reader reads decoded at the smallest reduced scale giving at least targetPixels.
QImage decodeJpegWith(Reader& reader, QSize targetPixels, const QImage& decodedAlready)
{
    const QSize ownSize = orientedSize(reader);
    if (!ownSize.isValid())
        throw RuntimeError(ErrorNumber::InvalidPicture, reader->errorString());
    const int denominator = jpegScaleFor(ownSize, targetPixels);
    if (scaledBy(ownSize, denominator) == decodedAlready.size())
        return decodedAlready;
    return reader.readJpeg(denominator);
}

// Runs the header checks on head, the start of a file of fileSize bytes in format: raises
// when they fail, and tells whether they need the whole file to decide.
bool checksNeedWholeFile(const QByteArray& head, qint64 fileSize, const QByteArray& format,
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
    return content == HeadCheck::NeedsWholeFile || buffers == HeadCheck::NeedsWholeFile;
}

Picture decodeBytes(const QByteArray& bytes, const std::shared_ptr<PictureFile>& file,
                    double logicalDpi, QSize screenPixels, const QString& fileName)
{
    const QByteArray format = sniffPictureFormat(bytes);
    if (format.isEmpty())
        throw RuntimeError(ErrorNumber::InvalidPicture, fileName);
    // The bytes are the whole file: the checks decide from them.
    checksNeedWholeFile(bytes, bytes.size(), format, fileName);

    if (format == "bmp" && isRunLengthBmp(bytes))
        return Picture(readRunLengthBmp(bytes, kMaxPicturePixels, fileName), logicalDpi,
                       Picture::Source{QByteArray(), format, fileName, nullptr});
    Reader reader(format == "bmp" ? withQtReadableBmpHeader(bytes) : bytes, format);
    return decodeWith(reader, format, bytes, file, logicalDpi, screenPixels, fileName);
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
    const auto readWhole = [&] {
        return decodeBytes(file->readAll(), file, logicalDpi, screenPixels, fileName);
    };
    const QByteArray head = file->head(kPictureHeadBytes);
    const QByteArray format = sniffPictureFormat(head);
    if (format.isEmpty())
        throw RuntimeError(ErrorNumber::InvalidPicture, fileName);
    if (isReadWhole(format) || (format == "bmp" && bmpNeedsWholeFile(head)) ||
        head.size() >= file->size() || checksNeedWholeFile(head, file->size(), format, fileName))
        return readWhole();

    // Read straight from the file: a copy of it in memory would cost as much as the decode
    // of a large PNG or TIFF takes in page faults, and hold as much memory again.
    Reader reader(file->device(), format);
    // An animation plays its frames from the bytes, so it is read whole after all.
    if (reader->supportsAnimation() && reader->imageCount() > 1)
        return readWhole();
    // The checks above saw the file before the decoder did. Written to in between, it may hold
    // headers they never saw (a JPEG's buffers, a BMP's rows); written to while it decodes,
    // pixels from two files. Either way it is read whole, so that the checks and the decoder
    // see the same bytes.
    if (!headersReadFromOpenedContent(reader, *file))
        return readWhole();
    Picture picture =
        decodeWith(reader, format, QByteArray(), file, logicalDpi, screenPixels, fileName);
    return file->isUnchanged() ? picture : readWhole();
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

} // namespace kavelora::picture
