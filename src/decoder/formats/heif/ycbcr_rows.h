// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QRgb>
#include <QSize>
#include <QtGlobal>

#include <array>
#include <vector>

namespace kavelora::decoder::heif {

enum class ChromaFormat { Monochrome, Yuv420, Yuv422, Yuv444 };

// How YCbCr numbers become RGB: ITU-T H.273 matrix coefficients and the range they use.
struct YCbCrCoding
{
    int matrixCoefficients = 6;
    bool fullRange = true;
};

// The planes of one decoded picture, held by whoever decoded it. Samples of more than 8 bits
// are native-endian 16-bit words; bytesPerLine is in bytes.
struct YCbCrPlanes
{
    std::array<const uchar*, 3> planes{};
    std::array<qsizetype, 3> bytesPerLine{};
    // The luma size; chroma planes are as large as the chroma format makes them.
    QSize size;
    ChromaFormat chroma = ChromaFormat::Yuv420;
    int lumaBits = 8;
    int chromaBits = 8;
    // The coding the stream's video signal description gives (limited range, BT.601 where
    // it gives none).
    YCbCrCoding streamCoding;
};

// Rows of YCbCr planes turned into RGB. Chroma is taken from the nearest chroma sample to the
// left and above (no interpolation). convert functions may run on several threads at once.
class YCbCrRows
{
public:
    // planes must stay valid while this is used.
    YCbCrRows(const YCbCrPlanes& planes, YCbCrCoding coding);

    // width pixels of row y from column x, as opaque QRgb words with 8 bits per channel.
    void toWords(int y, int x, int width, QRgb* out) const;
    // The same pixels as interleaved RGB samples of 8 bits, or of 16 bits scaled to 0..65535.
    void toSamples8(int y, int x, int width, uchar* out) const;
    void toSamples16(int y, int x, int width, quint16* out) const;
    // The luma alone, full range, as 8-bit grey: an alpha plane.
    void toGray(int y, int x, int width, uchar* out) const;

private:
    template<typename Store> void convert(int y, int x, int width, Store store) const;
    template<typename Sample> void wordsByTables(int y, int x, int width, QRgb* out) const;
    void buildTables();
    float sample(int plane, int x, int y) const;

    YCbCrPlanes m_planes;
    bool m_identity;
    bool m_monochrome;
    int m_chromaShiftX;
    int m_chromaShiftY;
    // Each plane's sample read as (value - offset) * scale.
    std::array<float, 3> m_offset{};
    std::array<float, 3> m_scale{};
    float m_redFromCr = 0;
    float m_greenFromCb = 0;
    float m_greenFromCr = 0;
    float m_blueFromCb = 0;
    // Each possible sample's share of red, green and blue, times 255 << 16, for toWords.
    std::vector<qint32> m_lumaShare;
    std::vector<qint32> m_redFromCrShare;
    std::vector<qint32> m_greenFromCbShare;
    std::vector<qint32> m_greenFromCrShare;
    std::vector<qint32> m_blueFromCbShare;
};

} // namespace kavelora::decoder::heif
