// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "print_test_support.h"

#include <QBuffer>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>

namespace kavelora::tests {

namespace {

constexpr int kToolTimeoutMs = 60000;

// Runs a tool and returns its standard output; empty when it failed.
QByteArray run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(kToolTimeoutMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

picture::Picture filePicture(const QImage& image, const QString& fileName)
{
    return picture::Picture(image, 96.0, {QByteArrayLiteral("png"), fileName, {}, {}, {}});
}

} // namespace

QString missingPdfTool()
{
    for (const QString& tool : {QStringLiteral("pdfinfo"), QStringLiteral("pdftoppm")}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return tool;
    }
    return {};
}

PdfInfo pdfInfo(const QString& pdfPath)
{
    PdfInfo info;
    const QString text = QString::fromUtf8(
        run(QStringLiteral("pdfinfo"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdfPath}));
    static const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)$"),
                                          QRegularExpression::MultilineOption);
    static const QRegularExpression size(QStringLiteral("^Page size:\\s+([\\d.]+) x ([\\d.]+) pts"),
                                         QRegularExpression::MultilineOption);
    static const QRegularExpression title(QStringLiteral("^Title:\\s+(.*)$"),
                                          QRegularExpression::MultilineOption);
    if (const auto match = pages.match(text); match.hasMatch())
        info.pages = match.captured(1).toInt();
    if (const auto match = size.match(text); match.hasMatch())
        info.pageSizePoints = QSizeF(match.captured(1).toDouble(), match.captured(2).toDouble());
    if (const auto match = title.match(text); match.hasMatch())
        info.title = match.captured(1).trimmed();
    return info;
}

QImage renderFirstPage(const QString& pdfPath)
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return {};
    const QString prefix = dir.filePath(QStringLiteral("page"));
    run(QStringLiteral("pdftoppm"),
        {QStringLiteral("-r"), QString::number(kRenderDpi), QStringLiteral("-png"),
         QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"),
         QStringLiteral("-singlefile"), pdfPath, prefix});
    return QImage(prefix + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

QRectF inkBoxMillimetres(const QImage& page, Ink ink)
{
    int left = page.width();
    int top = page.height();
    int right = -1;
    int bottom = -1;
    for (int y = 0; y < page.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(page.constScanLine(y));
        for (int x = 0; x < page.width(); ++x) {
            const QRgb pixel = line[x];
            const bool counts = ink == Ink::Dark
                                    ? std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)}) < 128
                                    : std::min({qRed(pixel), qGreen(pixel), qBlue(pixel)}) < 250;
            if (!counts)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0)
        return {};
    const double millimetresPerPixel = kMillimetresPerInch / kRenderDpi;
    return {left * millimetresPerPixel, top * millimetresPerPixel,
            (right - left + 1) * millimetresPerPixel, (bottom - top + 1) * millimetresPerPixel};
}

picture::Picture framedPicture(QSize size, const QString& fileName)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, size.width() - 1, size.height() - 1);
    painter.end();
    return filePicture(image, fileName);
}

picture::Picture solidPicture(QSize size, const QString& fileName)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(20, 30, 90));
    return filePicture(image, fileName);
}

} // namespace kavelora::tests
