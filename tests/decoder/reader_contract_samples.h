// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPair>
#include <QSize>
#include <QString>

// The files of every format the reader-contract suite decodes: whole and reduced, each with
// what tells its reference (Qt's reader for the format, or the picture a lossless encoder was
// given), broken, and at the pixel cap.
namespace kavelora::tests {

struct ContractPicture
{
    // The row's name: the format, then the kind of file.
    QByteArray name;
    QByteArray bytes;
    // Qt's reader for this format is the reference; empty when source is.
    QByteArray qtFormat;
    QImage source;
    // Also the reference's pixel format and colour space, not only its pixels.
    bool sameFormat = false;
    // 1 or 0 when the picture must or must not have an alpha channel; -1 either.
    int alpha = -1;
    // When set, the pixel format decoded: deeper pictures come down to 8 bits a channel.
    QImage::Format format = QImage::Format_Invalid;
};

struct ReducedPicture
{
    QByteArray name;
    QByteArray bytes;
    QByteArray qtFormat;
    // The area-reduction factors tried, each with a target just past the next one up.
    QList<int> factors;
    // True where the target is the picture's side divided by the factor instead.
    bool dividedTarget = false;
    double minimumDb = 99.0;
    // Where a codec's scaler spreads the picture evenly over the copy, only sides that are
    // multiples of the factor are measured.
    bool wholeBlocksOnly = false;
    bool sameAlpha = false;
};

// Still pictures of every format, decoded whole; folder holds the encoders' files.
QList<ContractPicture> wholePictures(const QString& folder);

// Pictures of the formats whose readers reduce by area averaging.
QList<ReducedPicture> areaReducedPictures();

// JPEGs with the libjpeg scale (2, 4 or 8) each is decoded at.
QList<QPair<ContractPicture, int>> scaledJpegs();

enum class Outcome { Refused, Decoded, AsQtsReader, Either };

struct BrokenFile
{
    QByteArray name;
    QByteArray bytes;
    // Qt's reader for the format, the reference; empty where no reference reads it.
    QByteArray qtFormat;
    Outcome outcome = Outcome::AsQtsReader;
};

struct CappedFile
{
    QByteArray name;
    QByteArray bytes;
    // Refused with OutOfMemory when over the cap, else decoded at size.
    bool overCap = true;
    QSize size;
};

// Files cut short, with a corrupted header or corrupted data; folder holds encoders' files.
QList<BrokenFile> brokenFiles(const QString& folder);

// Files over the pixel cap, or whose header claims a picture over it, and files just within.
QList<CappedFile> cappedFiles(const QString& folder);

} // namespace kavelora::tests
