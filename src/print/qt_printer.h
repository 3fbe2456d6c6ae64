// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "print/printer.h"

#include <QObject>
#include <QPainter>
#include <QPrinter>

namespace kavelora::print {

// The program's printer: one QPrinter, shared with the print dialog so that the user's
// choices there reach the page.
class QtPrinter : public Printer
{
public:
    static constexpr auto kJobNamePrefix = u"Kavelora";

    QtPrinter();
    ~QtPrinter() override;

    QtPrinter(const QtPrinter&) = delete;
    QtPrinter& operator=(const QtPrinter&) = delete;

    // Raises InvalidPicture before opening a document; fails with OutOfMemory before opening
    // one, PrinterError when none can be opened. When drawing fails the open document is
    // discarded, never printed.
    QFuture<void> PaintPicture(const picture::Picture& picture, float x1, float y1) override;
    // Does nothing when no document is open.
    void EndDoc() override;

    QPrinter& qprinter() { return m_printer; }

    // "Kavelora - <file name>", or the prefix alone for a picture that has no file.
    static QString jobName(const picture::Picture& picture);

protected:
    // The one seam where drawing happens.
    virtual void drawImage(QPainter& painter, const QRectF& target, const QImage& image);

private:
    void draw(const picture::Picture& picture, const QRectF& target, const QImage& image);
    void abortDocument();

    // Declared before the painter, so an open document is ended before its printer goes.
    QPrinter m_printer;
    QPainter m_painter;
    // What waits for a picture's pixels; a printer that goes first drops the wait.
    QObject m_pixelsComing;
};

} // namespace kavelora::print
