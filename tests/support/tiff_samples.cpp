// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "tiff_samples.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>

namespace kavelora::tests {

QByteArray tiffFile(const QImage& image, const TiffKind& kind)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("picture.tif"));
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tiff)
        return {};
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height()));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, kind.bitsPerSample);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, kind.samples);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
                 kind.samples == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    if (kind.samples == 4) {
        const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, kind.compression);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, kind.orientation);
    const int bytesPerSample = kind.bitsPerSample / 8;
    const auto sampleRow = [&](int y) {
        QByteArray row;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            const int values[4] = {qRed(pixel), qGreen(pixel), qBlue(pixel), qAlpha(pixel)};
            for (int s = 0; s < kind.samples; ++s)
                row += QByteArray(bytesPerSample,
                                  static_cast<char>(values[kind.samples == 1 ? 1 : s]));
        }
        return row;
    };
    if (kind.tiled) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, 16);
        const qsizetype pixelBytes = kind.samples * bytesPerSample;
        for (int top = 0; top < image.height(); top += 16) {
            for (int left = 0; left < image.width(); left += 16) {
                QByteArray tile(16 * 16 * pixelBytes, '\0');
                for (int y = top; y < std::min(top + 16, image.height()); ++y) {
                    const QByteArray row = sampleRow(y);
                    const qsizetype count =
                        (std::min(left + 16, image.width()) - left) * pixelBytes;
                    tile.replace((y - top) * 16 * pixelBytes, count,
                                 row.mid(left * pixelBytes, count));
                }
                TIFFWriteTile(tiff, tile.data(), static_cast<uint32_t>(left),
                              static_cast<uint32_t>(top), 0, 0);
            }
        }
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, kind.rowsPerStrip);
        for (int y = 0; y < image.height(); ++y) {
            QByteArray row = sampleRow(y);
            TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0);
        }
    }
    TIFFClose(tiff);
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace kavelora::tests
