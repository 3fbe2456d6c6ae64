// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// load_probe FILE: loads FILE the way the open command does in a window just opened (decoded
// for the picture area Image1 at its first size on the primary screen: 481 x 297 pixels at
// 96 dpi), reads every pixel of the result and prints one line, "shown WxH" (exit 0) or "refused
// <error number> <text>" (exit 2). When the decoder helper ended by a signal of its own (a crash,
// or its system-call filter refusing a call a legal decode made) it prints "helper <the viewer's
// warning>" instead (exit 3), whatever the load gave. load_probe --print FILE: the same, then
// prints the picture through the program's printer to a PDF file in a temporary folder. Any other
// outcome (a crash, an exception that is not a run-time error) is a fault that the hostile-input
// runner reports.

#include "future_result.h"
#include "picture/helper/helper_decoding.h"
#include "picture/load_picture.h"
#include "platform/runtime_error.h"
#include "platform/twips_scale.h"
#include "print/qt_printer.h"
#include "window/window_description.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

using namespace kavelora::picture;
using kavelora::platform::ErrorNumber;
using kavelora::platform::RuntimeError;
using kavelora::platform::TwipsScale;
using kavelora::print::QtPrinter;

namespace {

constexpr int kShown = 0;
constexpr int kRefused = 2;
constexpr int kHelperSignalled = 3;
constexpr int kUsage = 64;

// Image1's first size in device pixels, as the open command asks the loader to cover it.
QSize pictureAreaPixels()
{
    const auto& area = kavelora::window::describe(kavelora::window::ControlId::Image1);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const TwipsScale scale(screen ? screen->logicalDotsPerInch() : TwipsScale::kStandardDpi);
    const double pixelRatio = screen ? screen->devicePixelRatio() : 1.0;
    return (QSizeF(scale.toPixels(area.width, area.height)) * pixelRatio).toSize();
}

// Touches every byte of every row, so that a decoder that left pixels unset or short is read
// in full; the sum keeps the compiler from skipping the reads.
unsigned readEveryPixel(const QImage& image)
{
    const auto rowBytes = static_cast<qsizetype>((qint64{image.width()} * image.depth() + 7) / 8);
    unsigned sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        for (qsizetype x = 0; x < rowBytes; ++x)
            sum += row[x];
    }
    return sum;
}

QString helperWarning;

// Keeps the decoder client's warning about a helper that ended by a signal, and lets every
// other message through as usual.
void catchHelperWarning(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtWarningMsg && qstrcmp(context.category, "kavelora.decoder") == 0 &&
        helperWarning.isEmpty())
        helperWarning = text;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

void printToPdf(const Picture& picture)
{
    QTemporaryDir folder;
    if (!folder.isValid())
        throw RuntimeError(ErrorNumber::PathFileAccess, folder.errorString());
    QtPrinter printer;
    printer.qprinter().setOutputFormat(QPrinter::PdfFormat);
    printer.qprinter().setOutputFileName(folder.filePath(QStringLiteral("probe.pdf")));
    kavelora::tests::resultOf(printer.PaintPicture(picture, 0.0f, 0.0f));
    printer.EndDoc();
}

// The error's text on one line: a file name may hold line breaks and other controls.
QByteArray oneLine(const QString& text)
{
    QString line = text;
    for (QChar& c : line) {
        if (c.category() == QChar::Other_Control)
            c = u'?';
    }
    return line.toUtf8();
}

int answerHelperWarning()
{
    std::printf("helper %s\n", oneLine(helperWarning).constData());
    return kHelperSignalled;
}

} // namespace

int main(int argc, char* argv[])
{
    const bool print = argc == 3 && std::strcmp(argv[1], "--print") == 0;
    if (argc != 2 && !print) {
        std::fputs("usage: load_probe [--print] FILE\n", stderr);
        return kUsage;
    }
    qInstallMessageHandler(catchHelperWarning);
    QGuiApplication application(argc, argv);
    const QString fileName = QFile::decodeName(argv[argc - 1]);
    try {
        const Picture picture = kavelora::tests::resultOf(LoadPicture(
            std::make_shared<kavelora::picture::HelperDecoding>(), fileName, pictureAreaPixels()));
        volatile unsigned sink = readEveryPixel(picture.screenImage());
        static_cast<void>(sink);
        if (print)
            printToPdf(picture);
        // An empty name gives the empty picture, which shows nothing.
        const QSize size = picture.isEmpty() ? QSize(0, 0) : picture.ownSize();
        if (!helperWarning.isEmpty())
            return answerHelperWarning();
        std::printf("shown %dx%d\n", size.width(), size.height());
        return kShown;
    } catch (const RuntimeError& error) {
        if (!helperWarning.isEmpty())
            return answerHelperWarning();
        std::printf("refused %d %s\n", error.number(), oneLine(error.text()).constData());
        return kRefused;
    }
}
