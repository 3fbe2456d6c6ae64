// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
//
// Prints a picture file to a PDF file and ends, timed and measured from outside. By default
// it goes the program's own way (LoadPicture, then PaintPicture and EndDoc on the program's
// printer); with --naive it decodes the whole picture and draws it, fitted to the printable
// area, on a high-resolution QPrinter.
//
//   print_picture [--naive] FILE OUTPUT.pdf

#include "awaited.h"
#include "opened_copy_size.h"
#include "picture/helper/helper_decoding.h"
#include "picture/load_picture.h"
#include "platform/runtime_error.h"
#include "print/qt_printer.h"

#include <QApplication>
#include <QImageReader>
#include <QPainter>
#include <QPrinter>

#include <cstdio>
#include <cstring>

namespace {

void printTheProgramsWay(const QString& fileName, const QString& output)
{
    kavelora::print::QtPrinter printer;
    printer.qprinter().setOutputFormat(QPrinter::PdfFormat);
    printer.qprinter().setOutputFileName(output);
    using kavelora::bench::awaited;
    awaited(printer.PaintPicture(
        awaited(kavelora::picture::LoadPicture(std::make_shared<kavelora::picture::HelperDecoding>(),
                                               fileName, kavelora::bench::openedCopySize())),
        0.0F, 0.0F));
    printer.EndDoc();
}

bool printNaively(const QString& fileName, const QString& output)
{
    QImageReader::setAllocationLimit(0);
    QImageReader reader(fileName);
    const QImage image = reader.read();
    if (image.isNull())
        return false;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(output);
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QSizeF area = printer.pageRect(QPrinter::DevicePixel).size();
    const QSizeF fitted = QSizeF(image.size()).scaled(area, Qt::KeepAspectRatio);
    painter.drawImage(QRectF(QPointF(0, 0), fitted), image);
    return painter.end();
}

} // namespace

int main(int argc, char* argv[])
{
    const bool naive = argc == 4 && std::strcmp(argv[1], "--naive") == 0;
    if (argc != (naive ? 4 : 3)) {
        std::fprintf(stderr, "usage: print_picture [--naive] FILE OUTPUT.pdf\n");
        return 2;
    }
    QApplication application(argc, argv);
    const QString fileName = QString::fromLocal8Bit(argv[argc - 2]);
    const QString output = QString::fromLocal8Bit(argv[argc - 1]);
    if (naive)
        return printNaively(fileName, output) ? 0 : 1;
    try {
        printTheProgramsWay(fileName, output);
    } catch (const kavelora::platform::RuntimeError& error) {
        std::fprintf(stderr, "print_picture: %s\n", qPrintable(error.text()));
        return 1;
    }
    return 0;
}
