// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "jpeg_samples.h"

#include <cstdlib>
#include <vector>

namespace kavelora::tests {

QImage detailedPhoto(QSize size, QImage::Format format)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int detail = ((x * 7 + y * 13) % 17) * 6;
            image.setPixel(x, y,
                           qRgb((x * 255 / size.width() + detail) % 256,
                                (y * 255 / size.height() + detail / 2) % 256,
                                (x + y + detail) % 256));
        }
    }
    return image.convertToFormat(format);
}

QByteArray libjpegFile(QSize size, int components, J_COLOR_SPACE input, J_COLOR_SPACE stored)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* output = nullptr;
    unsigned long outputBytes = 0;
    jpeg_mem_dest(&info, &output, &outputBytes);
    info.image_width = static_cast<JDIMENSION>(size.width());
    info.image_height = static_cast<JDIMENSION>(size.height());
    info.input_components = components;
    info.in_color_space = input;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, stored);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(size.width() * components));
    while (info.next_scanline < info.image_height) {
        const auto y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < size.width(); ++x) {
            for (int c = 0; c < components; ++c)
                row[static_cast<std::size_t>(x * components + c)] =
                    static_cast<JSAMPLE>((x * 255 / size.width() + y * 3 + c * 70) % 256);
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(output), static_cast<qsizetype>(outputBytes));
    std::free(output);
    jpeg_destroy_compress(&info);
    return bytes;
}

} // namespace kavelora::tests
