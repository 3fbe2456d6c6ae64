// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "print/printer.h"

#include <QPainter>
#include <QPrinter>

namespace kavelora::print {

// The program's printer on Qt's print support: one QPrinter, set to the print service's
// default printer, shared with the print dialog so that the user's choice there (printer,
// copies, orientation, paper) reaches the page. A document is open between the first
// PaintPicture and EndDoc.
class QtPrinter : public Printer
{
public:
    // Name of the program at the head of every job's name in the print queue.
    static constexpr auto kJobNamePrefix = u"Kavelora";

    QtPrinter();
    ~QtPrinter() override;

    QtPrinter(const QtPrinter&) = delete;
    QtPrinter& operator=(const QtPrinter&) = delete;

    // Draws the picture on the page, scaled down to the printable area when it is larger.
    // Raises InvalidPicture for the empty picture and OutOfMemory when its pixels cannot be
    // had, before any document is opened; PrinterError when no document can be opened. When
    // drawing fails the open document is discarded, not handed to the print service.
    void PaintPicture(const picture::Picture& picture, float x1, float y1) override;
    // Hands the open document to the print service; does nothing when none is open. Raises
    // PrinterError when the document cannot be finished.
    void EndDoc() override;

    // The printer the print dialog edits.
    QPrinter& qprinter() { return m_printer; }
    // True between the first PaintPicture and EndDoc.
    bool isDocumentOpen() const { return m_painter.isActive(); }

    // "Kavelora - <file name>", or the prefix alone for a picture that has no file.
    static QString jobName(const picture::Picture& picture);

protected:
    // Draws image into target on the open page. The one seam where drawing happens.
    virtual void drawImage(QPainter& painter, const QRectF& target, const QImage& image);

private:
    void abortDocument();

    // Declared before the painter, so an open document is ended before its printer goes.
    QPrinter m_printer;
    QPainter m_painter;
};

} // namespace kavelora::print
