// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "hevc_encoder.h"

#include <x265.h>

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <vector>

namespace kavelora::tests {
namespace {

constexpr uint32_t kVps = 32;
constexpr uint32_t kSps = 33;
constexpr uint32_t kPps = 34;
constexpr uint32_t kFirstNonPictureNal = 32;
constexpr int kSmallestCtu = 16;

struct LumaWeights
{
    double red = 0;
    double blue = 0;
};

LumaWeights lumaWeights(int matrixCoefficients)
{
    switch (matrixCoefficients) {
    case 1:
        return {0.2126, 0.0722};
    case 5:
    case 6:
        return {0.299, 0.114};
    case 9:
    case 10:
        return {0.2627, 0.0593};
    default:
        throw std::runtime_error("no RGB to YCbCr conversion for these matrix coefficients");
    }
}

// Three planes of the full-size picture, as samples of the wanted depth and range.
struct Planes
{
    int width = 0;
    int height = 0;
    std::vector<quint16> luma, blue, red;
};

Planes convert(const QImage& source, const HevcOptions& options)
{
    const QImage rgba = source.convertToFormat(QImage::Format_RGBA64);
    Planes planes;
    planes.width = rgba.width();
    planes.height = rgba.height();
    // 4:2:0 needs even sides, and x265 a CTU of at least 16: repeat the last column and row.
    if (options.chroma == HevcChroma::Yuv420) {
        planes.width += planes.width % 2;
        planes.height += planes.height % 2;
    }
    planes.width = std::max(planes.width, kSmallestCtu);
    planes.height = std::max(planes.height, kSmallestCtu);
    const auto samples = static_cast<size_t>(planes.width) * static_cast<size_t>(planes.height);
    planes.luma.resize(samples);
    planes.blue.resize(samples);
    planes.red.resize(samples);
    const double top = std::ldexp(1.0, options.bitDepth) - 1;
    const double scale = std::ldexp(1.0, options.bitDepth - 8);
    const auto quantise = [&](double value, bool chroma) {
        double coded = 0;
        if (options.fullRange)
            coded = value * top + (chroma ? std::ldexp(1.0, options.bitDepth - 1) : 0.0);
        else
            coded = ((chroma ? 224.0 : 219.0) * value + (chroma ? 128.0 : 16.0)) * scale;
        return static_cast<quint16>(std::clamp(std::lround(coded), 0L, std::lround(top)));
    };
    const bool identity = options.matrixCoefficients == 0;
    const LumaWeights weights = identity ? LumaWeights{} : lumaWeights(options.matrixCoefficients);
    for (int y = 0; y < planes.height; ++y) {
        const auto* row =
            reinterpret_cast<const QRgba64*>(rgba.constScanLine(std::min(y, rgba.height() - 1)));
        for (int x = 0; x < planes.width; ++x) {
            const QRgba64 pixel = row[std::min(x, rgba.width() - 1)];
            const double red = pixel.red() / 65535.0;
            const double green = pixel.green() / 65535.0;
            const double blue = pixel.blue() / 65535.0;
            const size_t at =
                static_cast<size_t>(y) * static_cast<size_t>(planes.width) + static_cast<size_t>(x);
            if (options.alphaAsLuma) {
                planes.luma[at] = quantise(pixel.alpha() / 65535.0, false);
                continue;
            }
            if (identity) {
                planes.luma[at] = quantise(green, false);
                planes.blue[at] = quantise(blue, false);
                planes.red[at] = quantise(red, false);
                continue;
            }
            const double luma =
                weights.red * red + (1 - weights.red - weights.blue) * green + weights.blue * blue;
            planes.luma[at] = quantise(luma, false);
            planes.blue[at] = quantise((blue - luma) / (2 * (1 - weights.blue)), true);
            planes.red[at] = quantise((red - luma) / (2 * (1 - weights.red)), true);
        }
    }
    return planes;
}

// A chroma plane halved both ways, each sample the rounded mean of four.
std::vector<quint16> halved(const std::vector<quint16>& plane, int width, int height)
{
    std::vector<quint16> half(static_cast<size_t>(width / 2) * static_cast<size_t>(height / 2));
    const auto at = [&](int x, int y) {
        return plane[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    };
    for (int y = 0; y < height / 2; ++y)
        for (int x = 0; x < width / 2; ++x)
            half[static_cast<size_t>(y) * static_cast<size_t>(width / 2) + static_cast<size_t>(x)] =
                static_cast<quint16>((at(2 * x, 2 * y) + at(2 * x + 1, 2 * y) +
                                      at(2 * x, 2 * y + 1) + at(2 * x + 1, 2 * y + 1) + 2) /
                                     4);
    return half;
}

// x265 takes 8-bit samples as bytes and deeper ones as 16-bit words.
QByteArray planeBytes(const std::vector<quint16>& plane, int bitDepth)
{
    if (bitDepth > 8)
        return QByteArray(reinterpret_cast<const char*>(plane.data()),
                          static_cast<qsizetype>(plane.size() * sizeof(quint16)));
    QByteArray bytes(static_cast<qsizetype>(plane.size()), Qt::Uninitialized);
    std::transform(plane.begin(), plane.end(), bytes.begin(),
                   [](quint16 sample) { return static_cast<char>(sample); });
    return bytes;
}

// The NAL unit without its length, its emulation prevention bytes removed.
QByteArray unescapedPayload(const x265_nal& nal)
{
    QByteArray payload;
    int zeros = 0;
    for (uint32_t at = 4; at < nal.sizeBytes; ++at) {
        const uint8_t byte = nal.payload[at];
        if (zeros >= 2 && byte == 3) {
            zeros = 0;
            continue;
        }
        zeros = byte == 0 ? zeros + 1 : 0;
        payload.append(static_cast<char>(byte));
    }
    return payload;
}

void append16(QByteArray& bytes, quint16 value)
{
    bytes.append(static_cast<char>(value >> 8)).append(static_cast<char>(value & 0xff));
}

// The HEVCDecoderConfigurationRecord: profile, tier and level copied from the SPS.
QByteArray configurationRecord(const std::vector<x265_nal>& headers, const HevcOptions& options)
{
    const auto sps = std::find_if(headers.begin(), headers.end(),
                                  [](const x265_nal& nal) { return nal.type == kSps; });
    if (sps == headers.end())
        throw std::runtime_error("x265 wrote no SPS");
    const QByteArray spsBody = unescapedPayload(*sps);
    // The NAL header, then one byte of ids and sub-layers, then the 12 of the general profile.
    if (spsBody.size() < 15)
        throw std::runtime_error("x265 wrote a short SPS");
    const auto subLayerByte = static_cast<uint8_t>(spsBody[2]);
    QByteArray record;
    record.append(char{1}).append(spsBody.mid(3, 12));
    append16(record, 0xf000);
    record.append(static_cast<char>(0xfc | (options.wavefront ? 3 : 0)));
    const int chromaFormat = options.chroma == HevcChroma::Monochrome ? 0
                             : options.chroma == HevcChroma::Yuv420   ? 1
                                                                      : 3;
    record.append(static_cast<char>(0xfc | chromaFormat));
    record.append(static_cast<char>(0xf8 | (options.bitDepth - 8)));
    record.append(static_cast<char>(0xf8 | (options.bitDepth - 8)));
    append16(record, 0);
    const int temporalLayers = ((subLayerByte >> 1) & 7) + 1;
    record.append(static_cast<char>((temporalLayers << 3) | ((subLayerByte & 1) << 2) | 3));
    record.append(char{3});
    for (const uint32_t type : {kVps, kSps, kPps}) {
        record.append(static_cast<char>(0x80 | type));
        append16(record, 1);
        const auto nal = std::find_if(headers.begin(), headers.end(),
                                      [type](const x265_nal& unit) { return unit.type == type; });
        if (nal == headers.end())
            throw std::runtime_error("x265 wrote no VPS, SPS or PPS");
        append16(record, static_cast<quint16>(nal->sizeBytes - 4));
        record.append(reinterpret_cast<const char*>(nal->payload + 4),
                      static_cast<qsizetype>(nal->sizeBytes - 4));
    }
    return record;
}

struct ParamDeleter
{
    const x265_api* api;
    void operator()(x265_param* param) const { api->param_free(param); }
};
struct EncoderDeleter
{
    const x265_api* api;
    void operator()(x265_encoder* encoder) const { api->encoder_close(encoder); }
};
struct PictureDeleter
{
    const x265_api* api;
    void operator()(x265_picture* picture) const { api->picture_free(picture); }
};

} // namespace

HevcPicture encodeHevc(const QImage& picture, const HevcOptions& options)
{
    const x265_api* api = x265_api_get(options.bitDepth);
    if (api == nullptr)
        throw std::runtime_error("libx265 has no encoder of this bit depth");
    const std::unique_ptr<x265_param, ParamDeleter> param(api->param_alloc(), {api});
    if (api->param_default_preset(param.get(), "ultrafast", nullptr) < 0)
        throw std::runtime_error("x265 refused its preset");
    Planes planes = convert(picture, options);
    const int csp = options.chroma == HevcChroma::Monochrome ? X265_CSP_I400
                    : options.chroma == HevcChroma::Yuv420   ? X265_CSP_I420
                                                             : X265_CSP_I444;
    param->internalCsp = csp;
    param->sourceWidth = planes.width;
    param->sourceHeight = planes.height;
    param->fpsNum = 1;
    param->fpsDenom = 1;
    param->totalFrames = 1;
    param->keyframeMax = 1;
    param->bframes = 0;
    param->logLevel = X265_LOG_NONE;
    const int shorterSide = std::min(planes.width, planes.height);
    param->maxCUSize = shorterSide >= 64 ? 64 : shorterSide >= 32 ? 32 : kSmallestCtu;
    param->bAnnexB = 0;
    param->bEmitInfoSEI = 0;
    param->bRepeatHeaders = 0;
    param->bEnableWavefront = options.wavefront ? 1 : 0;
    param->frameNumThreads = 1;
    param->numaPools = "1";
    param->bLossless = options.lossless ? 1 : 0;
    param->rc.rateControlMode = X265_RC_CRF;
    param->rc.rfConstant = options.quality;
    param->vui.bEnableVideoSignalTypePresentFlag = 1;
    param->vui.bEnableVideoFullRangeFlag = options.fullRange ? 1 : 0;
    param->vui.bEnableColorDescriptionPresentFlag = 1;
    param->vui.colorPrimaries = options.colourPrimaries;
    param->vui.transferCharacteristics = options.transferCharacteristics;
    param->vui.matrixCoeffs = options.matrixCoefficients;
    param->sourceBitDepth = options.bitDepth;

    const std::unique_ptr<x265_encoder, EncoderDeleter> encoder(api->encoder_open(param.get()),
                                                                {api});
    if (!encoder)
        throw std::runtime_error("x265 cannot code a picture of this size or kind");
    x265_nal* nals = nullptr;
    uint32_t nalCount = 0;
    if (api->encoder_headers(encoder.get(), &nals, &nalCount) < 0)
        throw std::runtime_error("x265 wrote no headers");
    const std::vector<x265_nal> headerNals(nals, nals + nalCount);
    HevcPicture coded;
    coded.configuration = configurationRecord(headerNals, options);
    coded.size = QSize(planes.width, planes.height);

    const std::unique_ptr<x265_picture, PictureDeleter> input(api->picture_alloc(), {api});
    api->picture_init(param.get(), input.get());
    input->bitDepth = options.bitDepth;
    input->colorSpace = csp;
    const int sampleBytes = options.bitDepth > 8 ? 2 : 1;
    QByteArray luma = planeBytes(planes.luma, options.bitDepth);
    QByteArray blue, red;
    int chromaWidth = planes.width;
    if (options.chroma == HevcChroma::Yuv420) {
        chromaWidth /= 2;
        blue = planeBytes(halved(planes.blue, planes.width, planes.height), options.bitDepth);
        red = planeBytes(halved(planes.red, planes.width, planes.height), options.bitDepth);
    } else if (options.chroma == HevcChroma::Yuv444) {
        blue = planeBytes(planes.blue, options.bitDepth);
        red = planeBytes(planes.red, options.bitDepth);
    }
    input->planes[0] = luma.data();
    input->stride[0] = planes.width * sampleBytes;
    input->planes[1] = blue.data();
    input->stride[1] = chromaWidth * sampleBytes;
    input->planes[2] = red.data();
    input->stride[2] = chromaWidth * sampleBytes;

    x265_picture* next = input.get();
    // One call takes the picture, then calls without one drain the encoder.
    for (int call = 0; call < 8; ++call) {
        const int result = api->encoder_encode(encoder.get(), &nals, &nalCount, next, nullptr);
        if (result < 0)
            throw std::runtime_error("x265 failed to code the picture");
        for (uint32_t at = 0; at < nalCount; ++at)
            if (nals[at].type < kFirstNonPictureNal)
                coded.data.append(reinterpret_cast<const char*>(nals[at].payload),
                                  static_cast<qsizetype>(nals[at].sizeBytes));
        if (next == nullptr && result == 0)
            break;
        next = nullptr;
    }
    if (coded.data.isEmpty())
        throw std::runtime_error("x265 coded nothing");
    return coded;
}

} // namespace kavelora::tests
