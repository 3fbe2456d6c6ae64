// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/formats/heif/heif_image_plan.h"
#include "decoder/formats/heif/ycbcr_rows.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QSize>

#include <memory>
#include <vector>

namespace kavelora::decoder::heif {

// What an hvcC says before anything is decoded.
struct HevcConfiguration
{
    // Bytes of the big-endian length before each NAL unit: 1, 2 or 4.
    int lengthBytes = 4;
    ChromaFormat chroma = ChromaFormat::Yuv420;
    int lumaBits = 8;
    int chromaBits = 8;
    // The parameter sets' NAL units, views into the parsed body.
    std::vector<QByteArrayView> parameterSets;
};

// The hvcC body read; raises RuntimeError InvalidPicture where it is short or inconsistent.
HevcConfiguration parseHevcConfiguration(const QByteArray& body);

// The coded image's data, its extents of file read one after another; raises RuntimeError
// InvalidPicture when an extent lies outside the file.
QByteArray codedImageData(const QByteArray& file, const CodedImage& image);

// Registers libde265's tables, which otherwise happens at the first decoder.
void initialiseHevcDecoding();

// One libde265 decoder, decoding one coded picture at a time on one thread (its caller's),
// or with libde265's own worker threads where the stream has wavefronts or tiles.
class HevcDecoder
{
public:
    explicit HevcDecoder(bool workerThreads);
    ~HevcDecoder();
    HevcDecoder(const HevcDecoder&) = delete;
    HevcDecoder& operator=(const HevcDecoder&) = delete;

    // The picture of image, cropped to itemSize at the top left; its planes stay valid until
    // the next decode or the decoder's end. Raises RuntimeError: InvalidPicture for data
    // libde265 refuses or a picture smaller than itemSize, OutOfMemory when itemSize is past
    // the caps.
    YCbCrPlanes decode(const QByteArray& file, const CodedImage& image, QSize itemSize);

private:
    void pushUnit(QByteArrayView unit, QSize itemSize);
    void pushUnits(QByteArrayView data, int lengthBytes, QSize itemSize);

    struct ContextDeleter
    {
        void operator()(void* context) const;
    };
    std::unique_ptr<void, ContextDeleter> m_context;
    int m_pushedUnits = 0;
};

} // namespace kavelora::decoder::heif
