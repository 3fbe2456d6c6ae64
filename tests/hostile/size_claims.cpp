// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "hostile_entries.h"
#include "picture_fixtures.h"

#include <QtEndian>

#include <climits>

namespace kavelora::hostile {

namespace {

struct Claim
{
    const char* name;
    qint64 side;
};

constexpr Claim kClaims[] = {
    {"65535x65535", 65535},
    {"int-max", INT_MAX},
    {"int-min", INT_MIN},
};

// The claim in a field of bits bits: INT_MAX becomes the field's largest value, INT_MIN the
// pattern of the most negative signed value, anything else is clipped to the largest value.
quint32 narrowed(qint64 side, int bits)
{
    const quint64 largest = (bits >= 32) ? 0xFFFFFFFFull : ((1ull << bits) - 1);
    if (side == INT_MIN)
        return static_cast<quint32>((1ull << (bits - 1)) & largest);
    if (side == INT_MAX)
        return static_cast<quint32>(largest);
    return static_cast<quint32>(std::min<quint64>(static_cast<quint64>(side), largest));
}

QByteArray pngClaim(QByteArray png, qint64 side)
{
    put32be(png, 16, narrowed(side, 32));
    put32be(png, 20, narrowed(side, 32));
    put32be(png, 29, tests::pngCrc(png.mid(12, 17)));
    return png;
}

QByteArray jpegClaim(QByteArray jpeg, qint64 side)
{
    for (qsizetype at = 2; at + 9 < jpeg.size(); ++at) {
        const auto marker = static_cast<unsigned char>(jpeg[at + 1]);
        if (static_cast<unsigned char>(jpeg[at]) == 0xFF && marker >= 0xC0 && marker <= 0xC2) {
            put16be(jpeg, at + 5, narrowed(side, 16));
            put16be(jpeg, at + 7, narrowed(side, 16));
            break;
        }
    }
    return jpeg;
}

QByteArray bmpClaim(QByteArray bmp, qint64 side)
{
    put32le(bmp, 18, narrowed(side, 32));
    put32le(bmp, 22, narrowed(side, 32));
    return bmp;
}

// The directory says 256 (stored as 0); the picture's own header makes the claim.
QByteArray iconClaim(QByteArray icon, qint64 side)
{
    icon[6] = 0;
    icon[7] = 0;
    const auto dib = static_cast<qsizetype>(qFromLittleEndian<quint32>(icon.constData() + 18));
    put32le(icon, dib + 4, narrowed(side, 32));
    put32le(icon, dib + 8, narrowed(side, 32));
    return icon;
}

QByteArray gifClaim(QByteArray gif, qint64 side)
{
    put16le(gif, 6, narrowed(side, 16));
    put16le(gif, 8, narrowed(side, 16));
    const qsizetype descriptor = gif.indexOf(char(0x2C), 13 + 12);
    if (descriptor > 0) {
        put16le(gif, descriptor + 5, narrowed(side, 16));
        put16le(gif, descriptor + 7, narrowed(side, 16));
    }
    return gif;
}

QByteArray tiffClaim(QByteArray tiff, qint64 side)
{
    const bool little = tiff.startsWith("II");
    const auto read16 = [&](qsizetype at) {
        return little ? qFromLittleEndian<quint16>(tiff.constData() + at)
                      : qFromBigEndian<quint16>(tiff.constData() + at);
    };
    const auto write = [&](qsizetype at, quint32 value, int length) {
        if (length == 2)
            little ? put16le(tiff, at, value) : put16be(tiff, at, value);
        else
            little ? put32le(tiff, at, value) : put32be(tiff, at, value);
    };
    const auto ifd =
        static_cast<qsizetype>(little ? qFromLittleEndian<quint32>(tiff.constData() + 4)
                                      : qFromBigEndian<quint32>(tiff.constData() + 4));
    if (ifd + 2 > tiff.size())
        return tiff;
    const int count = read16(ifd);
    for (int i = 0; i < count && ifd + 2 + 12 * (i + 1) <= tiff.size(); ++i) {
        const qsizetype entry = ifd + 2 + 12 * i;
        const quint16 tag = read16(entry);
        if (tag == 256 || tag == 257) { // image width, image length: made LONG to hold 32 bits
            write(entry + 2, 4, 2);
            write(entry + 4, 1, 4);
            write(entry + 8, narrowed(side, 32), 4);
        }
    }
    return tiff;
}

// An extended header in front of the picture's own, with a 24-bit canvas size.
QByteArray webpClaim(const QByteArray& webp, qint64 side)
{
    const quint32 stored = std::max<quint32>(narrowed(side, 24), 1) - 1;
    QByteArray extended("VP8X");
    extended += le32(10);
    extended += QByteArray::fromHex("10000000");
    for (int i = 0; i < 2; ++i) {
        extended += static_cast<char>(stored & 0xFF);
        extended += static_cast<char>((stored >> 8) & 0xFF);
        extended += static_cast<char>((stored >> 16) & 0xFF);
    }
    QByteArray result = webp.left(12) + extended + webp.mid(12);
    put32le(result, 4, static_cast<quint32>(result.size() - 8));
    return result;
}

// Text headers state the sides in decimal: the first "24" and "16" after the magic are the
// seed's width and height.
QByteArray textClaim(QByteArray text, qint64 side, const QByteArray& widthToken,
                     const QByteArray& heightToken)
{
    const QByteArray value = QByteArray::number(side);
    const qsizetype width = text.indexOf(widthToken);
    if (width >= 0)
        text.replace(width, widthToken.size(), QByteArray(widthToken).replace("24", value));
    const qsizetype height = text.indexOf(heightToken);
    if (height >= 0)
        text.replace(height, heightToken.size(), QByteArray(heightToken).replace("16", value));
    return text;
}

QByteArray claimed(const Seed& seed, qint64 side)
{
    const QByteArray& f = seed.format;
    if (f == "png")
        return pngClaim(seed.bytes, side);
    if (f == "jpeg")
        return jpegClaim(seed.bytes, side);
    if (f == "bmp")
        return bmpClaim(seed.bytes, side);
    if (f == "ico" || f == "cur")
        return iconClaim(seed.bytes, side);
    if (f == "gif")
        return gifClaim(seed.bytes, side);
    if (f == "tiff")
        return tiffClaim(seed.bytes, side);
    if (f == "webp")
        return webpClaim(seed.bytes, side);
    if (f == "heif" || f == "avif")
        return tests::withIspeClaim(seed.bytes, narrowed(side, 32), narrowed(side, 32));
    if (f == "jxl")
        return tests::jxlHeaderClaiming(narrowed(side, 30), narrowed(side, 30));
    if (f == "xbm")
        return textClaim(seed.bytes, side, "_width 24", "_height 16");
    if (f == "xpm")
        return textClaim(seed.bytes, side, "\"24 ", " 16 ");
    return textClaim(seed.bytes, side, "24 ", " 16");
}

} // namespace

QList<Entry> sizeClaims(const QList<Seed>& seeds)
{
    QList<Entry> entries;
    for (const Seed& seed : seeds) {
        for (const Claim& claim : kClaims) {
            entries.append(
                {QStringLiteral("claim-%1.%2").arg(QLatin1String(claim.name), seed.extension),
                 claimed(seed, claim.side)});
        }
    }
    return entries;
}

} // namespace kavelora::hostile
