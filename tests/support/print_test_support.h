// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

// Reading printed PDF files back for the print tests: poppler's pdfinfo and pdftoppm do the
// reading, these helpers measure what is on the page.

#include "page_measures.h"
#include "picture/picture.h"
#include "print/qt_printer.h"

#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <new>

namespace kavelora::tests {

// Resolution the pages are rendered at for measuring: 0.085 mm per pixel.
inline constexpr int kRenderDpi = 300;

// What pdfinfo says about a file; pages is -1 when it cannot read it.
struct PdfInfo
{
    int pages = -1;
    QSizeF pageSizePoints;
    QString title;
};

// The poppler tool that is missing, or an empty text when both are there.
QString missingPdfTool();
PdfInfo pdfInfo(const QString& pdfPath);
// The first page rendered at kRenderDpi; a null image when rendering failed.
QImage renderFirstPage(const QString& pdfPath);

// Which pixels of a rendered page count as ink.
enum class Ink {
    Dark,    // clearly dark: a black line, not its grey fringe
    AnyMark, // anything that is not paper white
};

// Bounding box, in millimetres from the page's top-left corner, of the pixels that count as
// ink; empty when there are none.
QRectF inkBoxMillimetres(const QImage& page, Ink ink);

// A white picture of size pixels with a one-pixel black frame, as a file picture named
// fileName (kept as PNG bytes), at 96 pixels per inch.
picture::Picture framedPicture(QSize size, const QString& fileName);
// A picture filled with one dark colour, at 96 pixels per inch.
picture::Picture solidPicture(QSize size, const QString& fileName);

// A printer whose drawing fails the first time, once the document is open.
class FailingOncePrinter final : public print::QtPrinter
{
protected:
    void drawImage(QPainter& painter, const QRectF& target, const QImage& image) override
    {
        if (m_failed)
            return QtPrinter::drawImage(painter, target, image);
        m_failed = true;
        throw std::bad_alloc();
    }

private:
    bool m_failed = false;
};

// Millimetres of a length of pixels at 96 per inch.
constexpr double millimetresAt96(double pixels)
{
    return pixels / 96.0 * kMillimetresPerInch;
}

} // namespace kavelora::tests
