// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// Writes the program's built-in assets (kavelora.ico and splash.bmp) into
// the folder given on the command line. The file layouts are assembled byte
// by byte here so they never depend on how a Qt image writer lays them out,
// and the output is identical on every run.

#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPointF>
#include <QString>
#include <QTextStream>

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace kavelora::assets {

namespace {

void putU8(QByteArray &out, std::uint8_t v)
{
    out.append(static_cast<char>(v));
}

void putU16(QByteArray &out, std::uint16_t v)
{
    putU8(out, static_cast<std::uint8_t>(v & 0xffu));
    putU8(out, static_cast<std::uint8_t>(v >> 8));
}

void putU32(QByteArray &out, std::uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        putU8(out, static_cast<std::uint8_t>((v >> shift) & 0xffu));
}

void putI32(QByteArray &out, std::int32_t v)
{
    putU32(out, static_cast<std::uint32_t>(v));
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

// ---------------------------------------------------------------- icon

constexpr int IconSize = 32;

// The classic 16-colour palette as 0xRRGGBB.
constexpr std::array<std::uint32_t, 16> IconPalette = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

enum IconColour : std::uint8_t {
    Black = 0,
    Red = 9,
    Yellow = 11,
    White = 15,
};

struct IconPixel
{
    std::uint8_t colour = Black;
    bool transparent = true;
};

using IconArt = std::array<std::array<IconPixel, IconSize>, IconSize>; // [y][x], top row first

bool insideEllipse(double px, double py, double cx, double cy, double rx, double ry)
{
    const double dx = (px - cx) / rx;
    const double dy = (py - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
}

// A round smiling face, decided per pixel centre so the result is exact
// and needs no rasteriser.
IconArt drawIconFace()
{
    IconArt art{};
    constexpr double c = IconSize / 2.0;
    for (int y = 0; y < IconSize; ++y) {
        for (int x = 0; x < IconSize; ++x) {
            const double px = x + 0.5;
            const double py = y + 0.5;
            const double d = std::hypot(px - c, py - c);
            IconPixel &pixel = art[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
            if (d > 15.2)
                continue;
            pixel.transparent = false;
            pixel.colour = d > 14.0 ? Black : Yellow;

            const bool leftEye = insideEllipse(px, py, 11.0, 11.5, 1.9, 3.0);
            const bool rightEye = insideEllipse(px, py, 21.0, 11.5, 1.9, 3.0);
            if (leftEye || rightEye)
                pixel.colour = Black;
            // A glint in the upper inner part of each eye keeps it lively.
            if ((x == 10 && y == 10) || (x == 20 && y == 10))
                pixel.colour = White;

            if (insideEllipse(px, py, 7.0, 17.0, 2.0, 1.2) || insideEllipse(px, py, 25.0, 17.0, 2.0, 1.2))
                pixel.colour = Red;

            // Smile: a thick lower arc around a point just above the centre.
            const double smile = std::hypot(px - c, py - 14.0);
            if (smile >= 7.2 && smile <= 9.0 && py > 17.5)
                pixel.colour = Black;
        }
    }
    return art;
}

QByteArray buildIcon()
{
    constexpr std::uint32_t headerSize = 40;
    constexpr std::uint32_t paletteSize = 16 * 4;
    constexpr std::uint32_t xorRowBytes = IconSize / 2;
    constexpr std::uint32_t andRowBytes = IconSize / 8;
    constexpr std::uint32_t xorSize = xorRowBytes * IconSize;
    constexpr std::uint32_t andSize = andRowBytes * IconSize;
    constexpr std::uint32_t resourceSize = headerSize + paletteSize + xorSize + andSize;
    constexpr std::uint32_t imageOffset = 6 + 16;

    const IconArt art = drawIconFace();
    QByteArray out;

    // Icon directory with a single entry.
    putU16(out, 0);
    putU16(out, 1);
    putU16(out, 1);
    putU8(out, IconSize);
    putU8(out, IconSize);
    putU8(out, 16);
    putU8(out, 0);
    putU16(out, 1);
    putU16(out, 4);
    putU32(out, resourceSize);
    putU32(out, imageOffset);

    // The embedded bitmap header counts the colour and mask planes together,
    // hence the doubled height.
    putU32(out, headerSize);
    putI32(out, IconSize);
    putI32(out, IconSize * 2);
    putU16(out, 1);
    putU16(out, 4);
    putU32(out, 0);
    putU32(out, xorSize + andSize);
    putI32(out, 0);
    putI32(out, 0);
    putU32(out, 0);
    putU32(out, 0);

    for (const std::uint32_t rgb : IconPalette) {
        putU8(out, static_cast<std::uint8_t>(rgb & 0xffu));
        putU8(out, static_cast<std::uint8_t>((rgb >> 8) & 0xffu));
        putU8(out, static_cast<std::uint8_t>((rgb >> 16) & 0xffu));
        putU8(out, 0);
    }

    for (int row = IconSize - 1; row >= 0; --row) {
        const auto &line = art[static_cast<std::size_t>(row)];
        for (std::size_t x = 0; x < IconSize; x += 2) {
            // Transparent pixels carry colour 0 so the colour plane adds nothing there.
            const unsigned hi = line[x].transparent ? 0u : line[x].colour;
            const unsigned lo = line[x + 1].transparent ? 0u : line[x + 1].colour;
            putU8(out, static_cast<std::uint8_t>((hi << 4) | lo));
        }
    }

    for (int row = IconSize - 1; row >= 0; --row) {
        const auto &line = art[static_cast<std::size_t>(row)];
        for (std::size_t byte = 0; byte < andRowBytes; ++byte) {
            unsigned bits = 0;
            for (std::size_t bit = 0; bit < 8; ++bit) {
                if (line[byte * 8 + bit].transparent)
                    bits |= 0x80u >> bit;
            }
            putU8(out, static_cast<std::uint8_t>(bits));
        }
    }
    return out;
}

// ---------------------------------------------------------------- splash

constexpr int SplashWidth = 392;
constexpr int SplashHeight = 515;

// A gentle deterministic wobble so strokes look drawn by hand.
double wobble(double t, double seed)
{
    return std::sin(t * 2.3 + seed) * 0.9 + std::sin(t * 5.7 + seed * 1.7) * 0.5;
}

QPainterPath wobblyEllipse(QPointF centre, double rx, double ry, double seed, double rotation = 0.0)
{
    QPainterPath path;
    constexpr int steps = 96;
    for (int i = 0; i <= steps; ++i) {
        const double t = 2.0 * std::numbers::pi * i / steps;
        const double k = 1.0 + wobble(t, seed) * 0.025;
        const double ex = std::cos(t) * rx * k;
        const double ey = std::sin(t) * ry * k;
        const QPointF p(centre.x() + ex * std::cos(rotation) - ey * std::sin(rotation),
                        centre.y() + ex * std::sin(rotation) + ey * std::cos(rotation));
        if (i == 0)
            path.moveTo(p);
        else
            path.lineTo(p);
    }
    path.closeSubpath();
    return path;
}

QPainterPath wavyLine(QPointF from, QPointF to, double amplitude, double waves, double seed)
{
    QPainterPath path(from);
    const QPointF delta = to - from;
    const double length = std::hypot(delta.x(), delta.y());
    const QPointF normal(-delta.y() / length, delta.x() / length);
    constexpr int steps = 80;
    for (int i = 1; i <= steps; ++i) {
        const double t = static_cast<double>(i) / steps;
        const double offset = std::sin(t * waves * 2.0 * std::numbers::pi + seed) * amplitude
                              + wobble(t * 6.0, seed) * 0.8;
        path.lineTo(from + delta * t + normal * offset);
    }
    return path;
}

QPainterPath star(QPointF centre, double outer, double inner, double rotation)
{
    QPainterPath path;
    for (int i = 0; i < 10; ++i) {
        const double r = (i % 2 == 0) ? outer : inner;
        const double a = rotation + std::numbers::pi * i / 5.0 - std::numbers::pi / 2.0;
        const QPointF p(centre.x() + std::cos(a) * r, centre.y() + std::sin(a) * r);
        if (i == 0)
            path.moveTo(p);
        else
            path.lineTo(p);
    }
    path.closeSubpath();
    return path;
}

QPen marker(const QColor &colour, double width)
{
    QPen pen(colour, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// Text goes through glyph outlines rather than the glyph cache so that
// hinting and subpixel settings of the environment cannot change the pixels.
void drawCentredText(QPainter &painter, const QString &text, const QFont &font, double baselineY,
                     const QColor &fill, const QColor &outline)
{
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF bounds = path.boundingRect();
    path.translate((SplashWidth - bounds.width()) / 2.0 - bounds.left(), baselineY);
    painter.setPen(marker(outline, 5.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawPath(path);
}

QImage drawSplash(const QString &family)
{
    QImage image(SplashWidth, SplashHeight, QImage::Format_RGB32);
    image.fill(Qt::white);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    // Wobbly frame, inset so the outermost pixels stay white.
    painter.setPen(marker(QColor(0x7f, 0xc8, 0xe8), 4.0));
    painter.setBrush(Qt::NoBrush);
    const double inset = 14.0;
    const std::array<QPointF, 4> corners = {
        QPointF(inset + 10, inset), QPointF(SplashWidth - inset - 10, inset),
        QPointF(SplashWidth - inset, SplashHeight - inset - 10), QPointF(inset, SplashHeight - inset - 10)};
    painter.drawPath(wavyLine(corners[0], corners[1], 2.0, 7.0, 0.3));
    painter.drawPath(wavyLine(QPointF(SplashWidth - inset, inset + 10), corners[2], 2.0, 9.0, 1.1));
    painter.drawPath(wavyLine(QPointF(SplashWidth - inset - 10, SplashHeight - inset), QPointF(inset + 10, SplashHeight - inset), 2.0, 7.0, 2.4));
    painter.drawPath(wavyLine(corners[3], QPointF(inset, inset + 10), 2.0, 9.0, 3.7));

    // Small stars near each corner.
    const std::array<std::pair<QPointF, QColor>, 4> stars = {{
        {QPointF(52, 52), QColor(0xff, 0xb3, 0x00)},
        {QPointF(SplashWidth - 52, 58), QColor(0xff, 0x6f, 0x91)},
        {QPointF(50, SplashHeight - 60), QColor(0x4c, 0xaf, 0x50)},
        {QPointF(SplashWidth - 50, SplashHeight - 56), QColor(0x42, 0x7a, 0xe6)},
    }};
    double rotation = 0.1;
    for (const auto &[centre, colour] : stars) {
        painter.setPen(marker(colour.darker(130), 2.5));
        painter.setBrush(colour);
        painter.drawPath(star(centre, 17.0, 7.5, rotation));
        rotation += 0.35;
    }

    QFont greeting(family);
    greeting.setPixelSize(64);
    greeting.setHintingPreference(QFont::PreferNoHinting);
    drawCentredText(painter, QStringLiteral("ようこそ"), greeting, 118.0, QColor(0x2b, 0x3a, 0x67),
                    QColor(0xff, 0xe0, 0x8a));

    // Big flower in the middle: stem and leaves first, then petals and heart.
    const QPointF flower(SplashWidth / 2.0, 262.0);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(marker(QColor(0x3f, 0x9b, 0x4a), 7.0));
    QPainterPath stem(flower);
    stem.cubicTo(flower + QPointF(-18, 70), flower + QPointF(22, 105), flower + QPointF(2, 160));
    painter.drawPath(stem);
    painter.setPen(marker(QColor(0x2e, 0x7d, 0x32), 3.0));
    painter.setBrush(QColor(0x81, 0xc7, 0x84));
    painter.drawPath(wobblyEllipse(flower + QPointF(-34, 118), 30, 12, 0.7, -0.5));
    painter.drawPath(wobblyEllipse(flower + QPointF(38, 96), 30, 12, 1.9, 0.45));

    const std::array<QColor, 8> petalColours = {
        QColor(0xff, 0x8a, 0xa5), QColor(0xff, 0xb0, 0x5c), QColor(0xff, 0x8a, 0xa5), QColor(0xc9, 0x8b, 0xf0),
        QColor(0xff, 0x8a, 0xa5), QColor(0xff, 0xb0, 0x5c), QColor(0xff, 0x8a, 0xa5), QColor(0xc9, 0x8b, 0xf0),
    };
    for (std::size_t i = 0; i < petalColours.size(); ++i) {
        const double a = 2.0 * std::numbers::pi * static_cast<double>(i) / 8.0;
        const QPointF centre = flower + QPointF(std::cos(a) * 52.0, std::sin(a) * 52.0);
        painter.setPen(marker(petalColours[i].darker(140), 3.0));
        painter.setBrush(petalColours[i]);
        painter.drawPath(wobblyEllipse(centre, 36, 20, static_cast<double>(i) * 0.9, a));
    }
    painter.setPen(marker(QColor(0xc7, 0x8a, 0x00), 3.5));
    painter.setBrush(QColor(0xff, 0xd5, 0x4f));
    painter.drawPath(wobblyEllipse(flower, 34, 34, 4.2));

    // The flower's heart smiles back.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x4e, 0x34, 0x2e));
    painter.drawEllipse(flower + QPointF(-11, -7), 4.0, 5.5);
    painter.drawEllipse(flower + QPointF(11, -7), 4.0, 5.5);
    painter.setPen(marker(QColor(0x4e, 0x34, 0x2e), 3.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(flower + QPointF(-15, -10), QSizeF(30, 24)), -20 * 16, -140 * 16);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xff, 0x8a, 0xa5, 160));
    painter.drawEllipse(flower + QPointF(-21, 6), 5.0, 3.0);
    painter.drawEllipse(flower + QPointF(21, 6), 5.0, 3.0);

    // Swirls on either side of the flower.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(marker(QColor(0x42, 0xa5, 0xf5), 4.0));
    painter.drawPath(wavyLine(QPointF(30, 200), QPointF(92, 168), 6.0, 1.5, 0.0));
    painter.drawPath(wavyLine(QPointF(300, 168), QPointF(362, 200), 6.0, 1.5, 1.0));
    painter.setPen(marker(QColor(0xab, 0x47, 0xbc), 4.0));
    painter.drawPath(wavyLine(QPointF(34, 340), QPointF(100, 372), 6.0, 1.5, 2.0));
    painter.drawPath(wavyLine(QPointF(292, 372), QPointF(358, 340), 6.0, 1.5, 3.0));

    QFont name(family);
    name.setPixelSize(46);
    name.setHintingPreference(QFont::PreferNoHinting);
    drawCentredText(painter, QStringLiteral("Kavelora"), name, 478.0, QColor(0x00, 0x89, 0x7b),
                    QColor(0xd7, 0xf5, 0xf0));

    painter.end();
    return image;
}

QByteArray buildSplash(const QImage &image)
{
    constexpr std::uint32_t fileHeaderSize = 14;
    constexpr std::uint32_t infoHeaderSize = 40;
    constexpr std::uint32_t pixelOffset = fileHeaderSize + infoHeaderSize;
    constexpr std::uint32_t rowBytes = (SplashWidth * 3 + 3) / 4 * 4;
    constexpr std::uint32_t imageSize = rowBytes * SplashHeight;
    constexpr std::int32_t pixelsPerMetre = 3780; // 96 dpi

    QByteArray out;
    out.reserve(static_cast<qsizetype>(pixelOffset + imageSize));

    out.append("BM", 2);
    putU32(out, pixelOffset + imageSize);
    putU16(out, 0);
    putU16(out, 0);
    putU32(out, pixelOffset);

    putU32(out, infoHeaderSize);
    putI32(out, SplashWidth);
    putI32(out, SplashHeight); // positive: rows are stored bottom-up
    putU16(out, 1);
    putU16(out, 24);
    putU32(out, 0);
    putU32(out, imageSize);
    putI32(out, pixelsPerMetre);
    putI32(out, pixelsPerMetre);
    putU32(out, 0);
    putU32(out, 0);

    for (int y = SplashHeight - 1; y >= 0; --y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < SplashWidth; ++x) {
            const QRgb rgb = line[x];
            putU8(out, static_cast<std::uint8_t>(qBlue(rgb)));
            putU8(out, static_cast<std::uint8_t>(qGreen(rgb)));
            putU8(out, static_cast<std::uint8_t>(qRed(rgb)));
        }
        for (std::uint32_t pad = SplashWidth * 3; pad < rowBytes; ++pad)
            putU8(out, 0);
    }
    return out;
}

QString loadSplashFont()
{
    const int id = QFontDatabase::addApplicationFont(
        QStringLiteral("/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf"));
    if (id >= 0) {
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty())
            return families.constFirst();
    }
    const QString family = QStringLiteral("IPAPGothic");
    return QFontDatabase::families().contains(family) ? family : QString();
}

} // namespace

} // namespace kavelora::assets

int main(int argc, char *argv[])
{
    using namespace kavelora::assets;

    // Always render headless with fixed scaling so the output cannot depend
    // on the desktop session the generator happens to run in.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("QT_SCALE_FACTOR");
    qunsetenv("QT_SCREEN_SCALE_FACTORS");
    qunsetenv("QT_FONT_DPI");
    QGuiApplication app(argc, argv);

    QTextStream err(stderr);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 2) {
        err << "usage: generate_assets <output-folder>\n";
        return 2;
    }
    const QDir outDir(args.at(1));
    if (!outDir.exists() && !QDir().mkpath(outDir.path())) {
        err << "cannot create " << outDir.path() << '\n';
        return 1;
    }

    const QString family = loadSplashFont();
    if (family.isEmpty()) {
        err << "the IPAPGothic font is not available\n";
        return 1;
    }

    if (!writeFile(outDir.filePath(QStringLiteral("kavelora.ico")), buildIcon())) {
        err << "cannot write kavelora.ico\n";
        return 1;
    }
    if (!writeFile(outDir.filePath(QStringLiteral("splash.bmp")), buildSplash(drawSplash(family)))) {
        err << "cannot write splash.bmp\n";
        return 1;
    }
    return 0;
}
