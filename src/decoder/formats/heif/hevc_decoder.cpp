// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/formats/heif/hevc_decoder.h"

#include "decoder/common/codec_decode_fits.h"
#include "decoder/common/decoder_threads.h"
#include "decoder/formats/heif/heif_boxes.h"
#include "decoder/formats/heif/hevc_sequence_size.h"
#include "platform/runtime_error.h"

#include <libde265/de265.h>

#include <mutex>

namespace kavelora::decoder::heif {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

quint32 bigEndian(QByteArrayView bytes, qsizetype at, int count)
{
    quint32 value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | static_cast<uchar>(bytes[at + i]);
    return value;
}

ChromaFormat chromaOf(int code)
{
    switch (code) {
    case 0:
        return ChromaFormat::Monochrome;
    case 1:
        return ChromaFormat::Yuv420;
    case 2:
        return ChromaFormat::Yuv422;
    default:
        return ChromaFormat::Yuv444;
    }
}

} // namespace

HevcConfiguration parseHevcConfiguration(const QByteArray& body)
{
    // The fixed part of the record is 23 bytes, its last the number of arrays.
    constexpr qsizetype kFixedBytes = 23;
    const QByteArrayView bytes(body);
    if (bytes.size() < kFixedBytes)
        refuse();
    HevcConfiguration configuration;
    configuration.chroma = chromaOf(static_cast<uchar>(bytes[16]) & 3);
    configuration.lumaBits = (static_cast<uchar>(bytes[17]) & 7) + 8;
    configuration.chromaBits = (static_cast<uchar>(bytes[18]) & 7) + 8;
    configuration.lengthBytes = (static_cast<uchar>(bytes[21]) & 3) + 1;
    if (configuration.lengthBytes == 3)
        refuse();
    const int arrays = static_cast<uchar>(bytes[22]);
    qsizetype at = kFixedBytes;
    for (int array = 0; array < arrays; ++array) {
        if (bytes.size() - at < 3)
            refuse();
        const quint32 units = bigEndian(bytes, at + 1, 2);
        at += 3;
        for (quint32 unit = 0; unit < units; ++unit) {
            if (bytes.size() - at < 2)
                refuse();
            const qsizetype length = bigEndian(bytes, at, 2);
            at += 2;
            if (length == 0 || bytes.size() - at < length)
                refuse();
            configuration.parameterSets.push_back(bytes.sliced(at, length));
            at += length;
        }
    }
    return configuration;
}

QByteArray codedImageData(const QByteArray& file, const CodedImage& image)
{
    if (image.data.size() == 1) {
        const FileExtent& only = image.data.front();
        if (only.offset < 0 || only.length <= 0 || only.offset > file.size() ||
            only.length > file.size() - only.offset)
            refuse();
        // A view of the file's own bytes: the file outlives the decode.
        return QByteArray::fromRawData(file.constData() + only.offset, only.length);
    }
    QByteArray data;
    for (const FileExtent& extent : image.data) {
        if (extent.offset < 0 || extent.length < 0 || extent.offset > file.size() ||
            extent.length > file.size() - extent.offset)
            refuse();
        data.append(file.constData() + extent.offset, extent.length);
    }
    return data;
}

void initialiseHevcDecoding()
{
    static std::once_flag once;
    std::call_once(once, [] { de265_init(); });
}

void HevcDecoder::ContextDeleter::operator()(void* context) const
{
    de265_free_decoder(context);
}

HevcDecoder::HevcDecoder(bool workerThreads)
{
    initialiseHevcDecoding();
    m_context.reset(de265_new_decoder());
    if (!m_context)
        throw RuntimeError(ErrorNumber::OutOfMemory);
    // A picture with decoding errors is a broken file, not a picture to show.
    de265_set_parameter_bool(m_context.get(), DE265_DECODER_PARAM_SUPPRESS_FAULTY_PICTURES, 1);
    // libde265 hands work to these threads only for wavefronts and tiles; otherwise it decodes
    // on the caller's thread.
    if (workerThreads && !de265_isOK(de265_start_worker_threads(m_context.get(), kDecoderThreads)))
        throw RuntimeError(ErrorNumber::OutOfMemory);
}

HevcDecoder::~HevcDecoder() = default;

void HevcDecoder::pushUnit(QByteArrayView unit, QSize itemSize)
{
    // Coded sides are whole coding blocks (at most 64) past what the item shows.
    constexpr int kCodedSlackPixels = 64;
    if (isSequenceParameterSet(unit)) {
        const std::optional<QSize> coded = sequencePictureSize(unit);
        if (!coded || coded->width() > itemSize.width() + kCodedSlackPixels ||
            coded->height() > itemSize.height() + kCodedSlackPixels)
            refuse();
    }
    if (!de265_isOK(de265_push_NAL(m_context.get(), unit.data(), static_cast<int>(unit.size()), 0,
                                   nullptr)))
        refuse();
    ++m_pushedUnits;
}

void HevcDecoder::pushUnits(QByteArrayView data, int lengthBytes, QSize itemSize)
{
    qsizetype at = 0;
    while (at < data.size()) {
        if (data.size() - at < lengthBytes)
            refuse();
        const qsizetype length = bigEndian(data, at, lengthBytes);
        at += lengthBytes;
        if (length == 0 || data.size() - at < length)
            refuse();
        pushUnit(data.sliced(at, length), itemSize);
        at += length;
    }
}

YCbCrPlanes HevcDecoder::decode(const QByteArray& file, const CodedImage& image, QSize itemSize)
{
    const HevcConfiguration configuration = parseHevcConfiguration(image.configuration);
    if (!codecDecodeFits(itemSize.width(), itemSize.height(), configuration.lumaBits, false))
        throw RuntimeError(ErrorNumber::OutOfMemory);
    void* context = m_context.get();
    de265_reset(context);
    m_pushedUnits = 0;
    for (const QByteArrayView unit : configuration.parameterSets)
        pushUnit(unit, itemSize);
    const QByteArray data = codedImageData(file, image);
    pushUnits(data, configuration.lengthBytes, itemSize);
    if (!de265_isOK(de265_flush_data(context)))
        refuse();

    // Each step decodes about one NAL unit; garbage must not keep the loop turning.
    const int maxSteps = 4 * m_pushedUnits + 16;
    int more = 1;
    for (int step = 0; more && step < maxSteps; ++step) {
        const de265_error error = de265_decode(context, &more);
        if (error == DE265_ERROR_IMAGE_BUFFER_FULL || error == DE265_ERROR_WAITING_FOR_INPUT_DATA)
            break;
        if (error == DE265_ERROR_OUT_OF_MEMORY)
            throw RuntimeError(ErrorNumber::OutOfMemory);
        if (!de265_isOK(error))
            refuse();
    }
    const de265_image* picture = de265_get_next_picture(context);
    if (!picture)
        refuse();

    YCbCrPlanes planes;
    planes.chroma = chromaOf(static_cast<int>(de265_get_chroma_format(picture)));
    planes.size = QSize(de265_get_image_width(picture, 0), de265_get_image_height(picture, 0));
    planes.lumaBits = de265_get_bits_per_pixel(picture, 0);
    planes.chromaBits = planes.chroma == ChromaFormat::Monochrome
                            ? planes.lumaBits
                            : de265_get_bits_per_pixel(picture, 1);
    if (planes.size.width() < itemSize.width() || planes.size.height() < itemSize.height() ||
        planes.lumaBits < 8 || planes.lumaBits > 16 || planes.chromaBits < 8 ||
        planes.chromaBits > 16)
        refuse();
    const int planeCount = planes.chroma == ChromaFormat::Monochrome ? 1 : 3;
    for (int plane = 0; plane < planeCount; ++plane) {
        int bytesPerLine = 0;
        planes.planes[static_cast<std::size_t>(plane)] =
            de265_get_image_plane(picture, plane, &bytesPerLine);
        planes.bytesPerLine[static_cast<std::size_t>(plane)] = bytesPerLine;
        if (!planes.planes[static_cast<std::size_t>(plane)] || bytesPerLine <= 0)
            refuse();
    }
    planes.streamCoding = {de265_get_image_matrix_coefficients(picture),
                           de265_get_image_full_range_flag(picture) != 0};
    planes.size = itemSize;
    return planes;
}

} // namespace kavelora::decoder::heif
