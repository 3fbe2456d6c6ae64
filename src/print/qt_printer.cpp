// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "print/qt_printer.h"

#include "picture/when_finished.h"
#include "platform/runtime_error.h"
#include "print/print_image.h"
#include "print/print_placement.h"

#include <QFile>
#include <QFileInfo>
#include <QPrintEngine>

namespace kavelora::print {

using picture::Picture;
using platform::ErrorNumber;
using platform::RuntimeError;
using platform::Twips;

namespace {

// Qt's key for the extra options its CUPS engine sends with a job (PPK_CupsOptions in Qt's
// private CUPS header): a flat list of name, value, name, value.
constexpr auto kCupsOptionsKey = static_cast<QPrintEngine::PrintEnginePropertyKey>(0xfe00);

} // namespace

QtPrinter::QtPrinter()
    : m_printer(QPrinter::HighResolution)
{
    // The origin is then the printable area's top-left corner, where pictures are placed.
    m_printer.setFullPage(false);
}

QtPrinter::~QtPrinter() = default;

QString QtPrinter::jobName(const Picture& picture)
{
    const QString prefix = QString::fromUtf16(kJobNamePrefix);
    const Picture::Source& source = picture.source();
    if (source.origin == Picture::Source::Origin::BuiltIn || source.fileName.isEmpty())
        return prefix;
    return prefix + QStringLiteral(" - ") + QFileInfo(source.fileName).fileName();
}

QFuture<void> QtPrinter::PaintPicture(const Picture& picture, float x1, float y1)
{
    if (picture.isEmpty())
        throw RuntimeError(ErrorNumber::InvalidPicture);

    // Everything that may fail is done before a document is opened.
    const double deviceDpi = m_printer.resolution();
    const QRectF printable = m_printer.pageRect(QPrinter::DevicePixel);
    const PrintPlacement placement = placeOnPage(picture.ownSizeInches(), picture.ownSize(),
                                                 printable.size(), deviceDpi, Twips{x1}, Twips{y1});
    if (placement.targetRect.isEmpty())
        throw RuntimeError(ErrorNumber::InvalidProcedureCall);
    return picture::thenOn(imageForPrint(picture, placement.imagePixels, placement.sharpPixels),
                           &m_pixelsComing,
                           [this, picture, target = placement.targetRect](const QImage& image) {
                               draw(picture, target, image);
                           });
}

void QtPrinter::draw(const Picture& picture, const QRectF& target, const QImage& image)
{
    if (image.isNull())
        throw RuntimeError(ErrorNumber::OutOfMemory);
    if (!m_painter.isActive()) {
        m_printer.setDocName(jobName(picture));
        if (!m_painter.begin(&m_printer))
            throw RuntimeError(ErrorNumber::PrinterError);
    }
    try {
        drawImage(m_painter, target, image);
    } catch (...) {
        abortDocument();
        throw;
    }
    if (m_printer.printerState() == QPrinter::Error) {
        abortDocument();
        throw RuntimeError(ErrorNumber::PrinterError);
    }
}

void QtPrinter::EndDoc()
{
    if (!m_painter.isActive())
        return;
    if (!m_painter.end())
        throw RuntimeError(ErrorNumber::PrinterError);
}

void QtPrinter::drawImage(QPainter& painter, const QRectF& target, const QImage& image)
{
    painter.drawImage(target, image);
}

void QtPrinter::abortDocument()
{
    const QString outputFile = m_printer.outputFileName();
    if (m_printer.abort() || !outputFile.isEmpty()) {
        if (m_painter.isActive())
            m_painter.end();
        if (!outputFile.isEmpty())
            QFile::remove(outputFile);
        return;
    }
    // Qt's CUPS engine cannot abort: ending the document always submits the job. Asking for
    // zero copies makes the scheduler refuse the job when it is created, so nothing reaches
    // the queue; the printer's own settings are put back for the next document.
    QPrintEngine* engine = m_printer.printEngine();
    const QVariant options = engine->property(kCupsOptionsKey);
    const int copies = m_printer.copyCount();
    engine->setProperty(QPrintEngine::PPK_CopyCount, 1);
    engine->setProperty(kCupsOptionsKey,
                        QStringList{QStringLiteral("copies"), QStringLiteral("0")});
    m_painter.end();
    engine->setProperty(kCupsOptionsKey, options);
    m_printer.setCopyCount(copies);
}

} // namespace kavelora::print
