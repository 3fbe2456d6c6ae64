// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "tool_encodings.h"
#include "test_files.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace kavelora::tests {

namespace {

struct Encoder
{
    QString tool;
    QString extension;
    QStringList lossless;
};

const Encoder& encoderFor(const QString& format)
{
    static const Encoder heif{
        u"heif-enc"_qs,
        u"heic"_qs,
        {u"-L"_qs, u"-p"_qs, u"chroma=444"_qs, u"--matrix_coefficients=0"_qs}};
    static const Encoder avif{u"avifenc"_qs, u"avif"_qs, {u"-l"_qs}};
    static const Encoder jxl{u"cjxl"_qs, u"jxl"_qs, {u"-d"_qs, u"0"_qs}};
    return format == u"heif" ? heif : format == u"avif" ? avif : jxl;
}

} // namespace

QStringList losslessOptions(const QString& format)
{
    return encoderFor(format).lossless;
}

QByteArray encodedByTool(const QString& format, const QImage& source, const QStringList& options,
                         const QString& folder)
{
    const Encoder& encoder = encoderFor(format);
    if (QStandardPaths::findExecutable(encoder.tool).isEmpty())
        return {};
    const QString input = QDir(folder).filePath(u"source.png"_qs);
    const QString output = QDir(folder).filePath(u"encoded."_qs + encoder.extension);
    QFile::remove(output);
    if (!source.save(input))
        qFatal("cannot write %s", qPrintable(input));
    QStringList arguments = options;
    if (encoder.tool == u"cjxl")
        arguments << input << output;
    else
        arguments << u"-o"_qs << output << input;
    QProcess process;
    process.start(encoder.tool, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(encoder.tool),
               process.readAllStandardError().constData());
    return readFile(output);
}

} // namespace kavelora::tests
