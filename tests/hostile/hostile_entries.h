// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "byte_fields.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The pieces of the hostile-input corpus: small valid seed pictures and the files made from
// them. Everything is deterministic, so the corpus is the same on every run.
namespace kavelora::hostile {

// One file of the corpus, named after what it exercises.
struct Entry
{
    QString name;
    QByteArray bytes;
};

// A small valid picture of one format, written by Qt or by the tests' own writers.
struct Seed
{
    QString extension;
    QByteArray format;
    QByteArray bytes;
};

// One valid seed per readable format, plus the variants Qt cannot write (run-length BMP,
// cursor, animated GIF) and the HEIF, AVIF and JPEG XL files kept in tests/fuzz/seeds. Every
// seed is 24 x 16 pixels.
QList<Seed> seedPictures();

// Headers claiming 65535 x 65535, INT_MAX and INT_MIN sides, in every format (the largest
// value a narrower field holds where a format cannot say more).
QList<Entry> sizeClaims(const QList<Seed>& seeds);

// Decompression bombs: PNG, TIFF and GIF files of a few kilobytes that decode to hundreds of
// megabytes or claim far more.
QList<Entry> decompressionBombs();

// PNG chunk lies, ICO directory lies, GIF frame-count and LZW faults, BMP run-length, bit-field
// and offset faults.
QList<Entry> containerLies(const QList<Seed>& seeds);

// The largest picture the loader admits (the pixel cap exactly), for the printing path.
Entry largestAdmittedPicture();

// Helpers shared by the writers.
using tests::be32;
using tests::le16;
using tests::le32;
using tests::put16be;
using tests::put16le;
using tests::put32be;
using tests::put32le;
// A zlib stream of row repeated rows times, compressed in pieces so that the whole is never
// held; stops after limitBytes of input when that is smaller.
QByteArray zlibRows(const QByteArray& row, qint64 rows, qint64 limitBytes = -1);
// A PNG of one header, one image data chunk and the end chunk.
QByteArray pngFile(quint32 width, quint32 height, int bitDepth, int colourType,
                   const QByteArray& imageData);

} // namespace kavelora::hostile
