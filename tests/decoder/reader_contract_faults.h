// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

// Broken files of every format, and files at the pixel cap, for the reader-contract suite.
namespace kavelora::tests {

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
