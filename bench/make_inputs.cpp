// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
//
// Makes the benchmark's input pictures, the same bytes on every run: photo-like JPEGs of
// 24 and 100 megapixels, a 30000 x 30000 JPEG, and 4000 x 3000 PNG, WebP (lossy and
// lossless), TIFF and GIF pictures. Each JPEG is encoded
// row by row as its pixels are made, so the largest never sits in memory whole. A file that
// is already there is left alone.
//
//   make_inputs FOLDER

#include "format_writers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <numbers>
#include <utility>
#include <vector>

#include <jpeglib.h>

namespace {

// A fixed integer hash of a position: the same noise on every machine and every run.
std::uint32_t hashOf(std::uint32_t x, std::uint32_t y, std::uint32_t salt)
{
    std::uint64_t z = (std::uint64_t{x} << 32 | y) + std::uint64_t{salt} * 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<std::uint32_t>(z ^ (z >> 31));
}

std::uint8_t clampByte(int value)
{
    return static_cast<std::uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

// One octave of value noise: a lattice of fixed random values cellSize pixels apart,
// interpolated bilinearly, in -128..127.
class ValueNoise
{
public:
    ValueNoise(int width, int cellSize, std::uint32_t salt)
        : m_cellSize(cellSize)
        , m_salt(salt)
        , m_lattice(static_cast<std::size_t>(width / cellSize + 2))
    {}

    // Interpolates the lattice rows around y; row() then reads along x.
    void beginRow(int y)
    {
        const auto cell = static_cast<std::uint32_t>(y / m_cellSize);
        const int fraction = (y % m_cellSize) * 256 / m_cellSize;
        for (std::size_t i = 0; i < m_lattice.size(); ++i) {
            const int top = latticeValue(static_cast<std::uint32_t>(i), cell);
            const int bottom = latticeValue(static_cast<std::uint32_t>(i), cell + 1);
            m_lattice[i] = top + (bottom - top) * fraction / 256;
        }
    }

    int at(int x) const
    {
        const auto cell = static_cast<std::size_t>(x / m_cellSize);
        const int fraction = (x % m_cellSize) * 256 / m_cellSize;
        return m_lattice[cell] + (m_lattice[cell + 1] - m_lattice[cell]) * fraction / 256;
    }

private:
    int latticeValue(std::uint32_t i, std::uint32_t j) const
    {
        return static_cast<int>(hashOf(i, j, m_salt) & 255) - 128;
    }

    int m_cellSize;
    std::uint32_t m_salt;
    std::vector<int> m_lattice;
};

// A landscape-like scene: a sky gradient over textured ground, soft waves, and detail at
// falling strength down to single-pixel grain, as in a photograph; without detail it is smooth.
class Scene
{
public:
    Scene(int width, int height, bool detailed)
        : m_width(width)
        , m_height(height)
        , m_detailed(detailed)
        , m_columnWave(static_cast<std::size_t>(width))
        , m_rowWave(static_cast<std::size_t>(height))
    {
        // Separable waves make the per-pixel cost one addition.
        for (int x = 0; x < width; ++x)
            m_columnWave[static_cast<std::size_t>(x)] = wave(x, width, {3.0, 17.0, 61.0});
        for (int y = 0; y < height; ++y)
            m_rowWave[static_cast<std::size_t>(y)] = wave(y, height, {2.0, 11.0, 47.0});
        if (detailed) {
            // Amplitude falls with size, about as 1/f.
            for (const auto& [cellSize, amplitude] :
                 {std::pair{256, 48}, std::pair{64, 24}, std::pair{16, 14}, std::pair{4, 9}}) {
                m_octaves.emplace_back(width, cellSize, static_cast<std::uint32_t>(cellSize));
                m_amplitudes.push_back(amplitude);
            }
        }
    }

    // Fills row y of an RGB888 line.
    void row(int y, std::uint8_t* rgb)
    {
        for (ValueNoise& octave : m_octaves)
            octave.beginRow(y);
        const int horizon = m_height * 2 / 5;
        const int skyShade = 150 * y / m_height;
        const int rowWave = m_rowWave[static_cast<std::size_t>(y)];
        for (int x = 0; x < m_width; ++x) {
            const int wave = m_columnWave[static_cast<std::size_t>(x)] + rowWave;
            int red;
            int green;
            int blue;
            const bool sky = y < horizon + wave / 2;
            if (sky) {
                red = 90 + skyShade / 2 + wave / 4;
                green = 140 + skyShade / 3 + wave / 4;
                blue = 230 - skyShade / 4;
            } else {
                red = 110 + wave;
                green = 120 + wave / 2 - skyShade / 4;
                blue = 60 + wave / 3;
            }
            if (m_detailed) {
                int texture = 0;
                for (std::size_t octave = 0; octave < m_octaves.size(); ++octave)
                    texture += m_octaves[octave].at(x) * m_amplitudes[octave] / 128;
                // The sky is smoother than the ground; grain is everywhere.
                if (sky)
                    texture /= 4;
                const std::uint32_t grain =
                    hashOf(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), 11);
                red += texture + static_cast<int>(grain % 25) - 12;
                green += texture * 3 / 4 + static_cast<int>((grain >> 8) % 25) - 12;
                blue += texture / 2 + static_cast<int>((grain >> 16) % 25) - 12;
            }
            rgb[3 * x] = clampByte(red);
            rgb[3 * x + 1] = clampByte(green);
            rgb[3 * x + 2] = clampByte(blue);
        }
    }

    int width() const { return m_width; }
    int height() const { return m_height; }

private:
    static int wave(int position, int extent, std::array<double, 3> cycles)
    {
        const double t = 2.0 * std::numbers::pi * position / extent;
        return static_cast<int>(28.0 * std::sin(cycles[0] * t) + 14.0 * std::sin(cycles[1] * t) +
                                6.0 * std::sin(cycles[2] * t));
    }

    int m_width;
    int m_height;
    bool m_detailed;
    std::vector<int> m_columnWave;
    std::vector<int> m_rowWave;
    std::vector<ValueNoise> m_octaves;
    std::vector<int> m_amplitudes;
};

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};

bool writeJpeg(const QString& path, Scene& scene, int quality)
{
    const QString partial = path + QStringLiteral(".part");
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(QFile::encodeName(partial), "wb"));
    if (!file)
        return false;
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_CreateCompress(&info, JPEG_LIB_VERSION, sizeof(jpeg_compress_struct));
    jpeg_stdio_dest(&info, file.get());
    info.image_width = static_cast<JDIMENSION>(scene.width());
    info.image_height = static_cast<JDIMENSION>(scene.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<std::uint8_t> line(static_cast<std::size_t>(scene.width()) * 3);
    for (int y = 0; y < scene.height(); ++y) {
        scene.row(y, line.data());
        JSAMPROW rows[] = {line.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    file.reset();
    return QFile::rename(partial, path);
}

bool writePng(const QString& path, Scene& scene)
{
    QImage image(scene.width(), scene.height(), QImage::Format_RGB888);
    for (int y = 0; y < scene.height(); ++y)
        scene.row(y, image.scanLine(y));
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") && file.commit();
}

struct Input
{
    const char* name;
    int width;
    int height;
    bool detailed;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_inputs FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(folder.path()))
        return 1;

    const std::array inputs = {
        Input{"photo_24mp.jpg", 6000, 4000, true},
        Input{"photo_100mp.jpg", 12288, 8192, true},
        // Smooth, as a scan or a panorama of that size would be; detail would only make the
        // file, not the decoder's work per coefficient, larger.
        Input{"huge_30000.jpg", 30000, 30000, false},
        Input{"photo_12mp.png", 4000, 3000, true},
        Input{"photo_12mp_lossy.webp", 4000, 3000, true},
        Input{"photo_12mp_lossless.webp", 4000, 3000, true},
        Input{"photo_12mp.tif", 4000, 3000, true},
        Input{"photo_12mp.gif", 4000, 3000, true},
    };
    for (const Input& input : inputs) {
        const QString path = folder.filePath(QString::fromLatin1(input.name));
        if (QFileInfo::exists(path))
            continue;
        std::printf("making %s\n", input.name);
        std::fflush(stdout);
        Scene scene(input.width, input.height, input.detailed);
        const kavelora::bench::RowSource rows = [&scene](int y, std::uint8_t* rgb) {
            scene.row(y, rgb);
        };
        const auto endsWith = [&path](const char* suffix) {
            return path.endsWith(QLatin1String(suffix));
        };
        bool written = false;
        if (endsWith(".png"))
            written = writePng(path, scene);
        else if (endsWith(".webp"))
            written = kavelora::bench::writeWebp(path, input.width, input.height, rows,
                                                 endsWith("lossless.webp"));
        else if (endsWith(".tif"))
            written = kavelora::bench::writeTiff(path, input.width, input.height, rows);
        else if (endsWith(".gif"))
            written = kavelora::bench::writeGif(path, input.width, input.height, rows);
        else
            written = writeJpeg(path, scene, 90);
        if (!written) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
