// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The print button's handler with a scripted print dialog and the real printer writing PDF
// files; every page is rendered back to pixels and measured.

#include "commands/print_command.h"
#include "future_result.h"
#include "in_process_decoding.h"
#include "modal_driver.h"
#include "page_measures.h"
#include "picture/built_in_assets.h"
#include "platform/runtime_error.h"
#include "print/qt_printer.h"
#include "print_test_support.h"
#include "shell/error_policy.h"
#include "shell/program.h"
#include "unexpected_warnings.h"
#include "window/command_button.h"
#include "window/form1.h"
#include "window/form_builder.h"
#include "window/image_box.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QMouseEvent>
#include <QPageLayout>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>
#include <new>
#include <optional>

namespace kavelora::tests {

using picture::Picture;
using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

constexpr double kPrintableWidthMillimetres = 559.0 / kPointsPerInch * kMillimetresPerInch;
const QSize kFramedSize(392, 515);

// The splash's size at its own size, where the picture's top-left corner is on the page.
const QRectF kOwnSizeBox(kQueueMarginMillimetres, kQueueMarginMillimetres, millimetresAt96(392),
                         millimetresAt96(515));

// The print dialog with the user's answer scripted: confirm, after making the choices in
// onConfirm, or cancel.
class ScriptedDialog final : public platform::CommonDialog
{
public:
    explicit ScriptedDialog(QStringList& log)
        : m_log(log)
    {}

    bool cancel = false;
    std::function<void()> onConfirm;

    void ShowOpen() override
    {
        m_log << QStringLiteral("ShowOpen");
        throw RuntimeError(ErrorNumber::DialogCancelled);
    }
    void ShowPrinter() override
    {
        m_log << QStringLiteral("ShowPrinter");
        if (cancel)
            throw RuntimeError(ErrorNumber::DialogCancelled);
        if (onConfirm)
            onConfirm();
    }
    QString FileName() const override { return {}; }

private:
    QStringList& m_log;
};

// Passes every call to the real printer, noting it and whether the window took input then.
class LoggingPrinter final : public print::Printer
{
public:
    LoggingPrinter(print::Printer& printer, QStringList& log)
        : m_printer(printer)
        , m_log(log)
    {}

    QFuture<void> PaintPicture(const Picture& picture, float x1, float y1) override
    {
        m_log << QStringLiteral("PaintPicture");
        return m_printer.PaintPicture(picture, x1, y1);
    }
    void EndDoc() override
    {
        m_log << QStringLiteral("EndDoc");
        m_printer.EndDoc();
    }

private:
    print::Printer& m_printer;
    QStringList& m_log;
};

enum class PictureKind { Framed, Splash, Huge, Empty };
enum class PageCheck { FrameAtOwnSize, InsideSplashBox, FitsPageWidth, NoPage };

QString describe(const QRectF& box)
{
    return QStringLiteral("%1,%2 %3x%4 mm")
        .arg(box.x(), 0, 'f', 2)
        .arg(box.y(), 0, 'f', 2)
        .arg(box.width(), 0, 'f', 2)
        .arg(box.height(), 0, 'f', 2);
}

} // namespace

class TestPrintCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void outcomes_data();
    void outcomes();
    void printingTwiceGivesTwoDocuments();
    void printingAfterAFailedOpenPrintsThePictureStillShown();
    void windowSizeDoesNotChangeThePage_data();
    void windowSizeDoesNotChangeThePage();
    void dialogChoicesReachThePage();
    void jobIsNamedAfterProgramAndFile_data();
    void jobIsNamedAfterProgramAndFile();
    void failedDrawingLeavesNoDocument();
    void reducedDecodeStillFillsThePage();

private:
    // Runs the handler as the program does, under its silent trap; true when no error.
    bool clickPrint(print::Printer& printer);
    // The user picks PDF output to a new file in the dialog.
    void chooseNewFile(print::QtPrinter& printer);
    QStringList documents() const;
    // Checks that printer holds no open document: ending one now changes no file.
    void verifyNoDocumentOpen(print::Printer& printer);
    // Checks that the one-page document at path shows the frame at its own size.
    void verifyFrameAtOwnSize(const QString& path);

    QTemporaryDir m_dir;
    int m_fileCount = 0;
    std::unique_ptr<window::Form1> m_form;
    std::unique_ptr<shell::Program> m_program;
    std::unique_ptr<print::QtPrinter> m_printer;
    QStringList m_log;
    std::unique_ptr<ScriptedDialog> m_dialog;
    bool m_programEnded = false;
    std::optional<ErrorMessageCatcher> m_errorMessages;
};

void TestPrintCommand::initTestCase()
{
    QVERIFY(m_dir.isValid());
    if (const QString tool = missingPdfTool(); !tool.isEmpty())
        QSKIP(qPrintable(tool + QStringLiteral(" is needed to read printed pages back; "
                                               "install poppler-utils")));
}

void TestPrintCommand::init()
{
    failOnUnexpectedWarnings();
    m_errorMessages.emplace();
    m_form = window::buildForm1();
    m_program = std::make_unique<shell::Program>(*m_form, inProcessDecoding(),
                                                 [this](int) { m_programEnded = true; });
    m_printer = std::make_unique<print::QtPrinter>();
    m_log.clear();
    m_dialog = std::make_unique<ScriptedDialog>(m_log);
    m_dialog->onConfirm = [this] { chooseNewFile(*m_printer); };
    m_programEnded = false;
    QDir dir(m_dir.path());
    for (const QString& name : dir.entryList({QStringLiteral("*.pdf")}, QDir::Files))
        QVERIFY(dir.remove(name));
}

void TestPrintCommand::cleanup()
{
    QVERIFY(!m_programEnded);
    m_dialog.reset();
    m_printer.reset();
    m_program.reset();
    m_form.reset();
    QCOMPARE(m_errorMessages->texts(), QStringList());
    m_errorMessages.reset();
}

bool TestPrintCommand::clickPrint(print::Printer& printer)
{
    const shell::ErrorPolicy policy(m_form.get(), [this](int) { m_programEnded = true; });
    return policy.run(shell::Trap::Silent,
                      [&] { resultOf(commands::Command3_Click(*m_form, *m_dialog, printer)); });
}

void TestPrintCommand::chooseNewFile(print::QtPrinter& printer)
{
    printer.qprinter().setOutputFileName(
        m_dir.filePath(QStringLiteral("print-%1.pdf").arg(++m_fileCount)));
    printer.qprinter().setPageLayout(queuePageLayout());
}

QStringList TestPrintCommand::documents() const
{
    QStringList paths;
    const QDir dir(m_dir.path());
    for (const QString& name : dir.entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name))
        paths << dir.filePath(name);
    return paths;
}

void TestPrintCommand::verifyNoDocumentOpen(print::Printer& printer)
{
    // An open document's file already exists but is finished only when the document ends.
    const auto contents = [this] {
        QMap<QString, QByteArray> files;
        for (const QString& path : documents()) {
            QFile file(path);
            files.insert(path, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
        }
        return files;
    };
    const QMap<QString, QByteArray> before = contents();
    printer.EndDoc();
    QVERIFY(contents() == before);
}

void TestPrintCommand::verifyFrameAtOwnSize(const QString& path)
{
    QCOMPARE(pdfInfo(path).pages, 1);
    const QRectF frame = inkBoxMillimetres(renderFirstPage(path), Ink::Dark);
    QVERIFY2(nearMillimetres(frame.left(), kOwnSizeBox.left()) &&
                 nearMillimetres(frame.top(), kOwnSizeBox.top()) &&
                 nearMillimetres(frame.width(), kOwnSizeBox.width()) &&
                 nearMillimetres(frame.height(), kOwnSizeBox.height()),
             qPrintable(describe(frame) + QStringLiteral(" instead of ") + describe(kOwnSizeBox)));
}

void TestPrintCommand::outcomes_data()
{
    QTest::addColumn<PictureKind>("picture");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<PageCheck>("check");

    const QStringList allSteps{QStringLiteral("ShowPrinter"), QStringLiteral("PaintPicture"),
                               QStringLiteral("EndDoc")};
    QTest::newRow("framed picture prints at its own size at the top-left")
        << PictureKind::Framed << false << true << allSteps << PageCheck::FrameAtOwnSize;
    QTest::newRow("splash right after start prints inside its own-size box")
        << PictureKind::Splash << false << true << allSteps << PageCheck::InsideSplashBox;
    QTest::newRow("picture larger than the page is fitted to it, proportions kept")
        << PictureKind::Huge << false << true << allSteps << PageCheck::FitsPageWidth;
    QTest::newRow("empty picture prints nothing and EndDoc is not called")
        << PictureKind::Empty << false << false
        << QStringList{QStringLiteral("ShowPrinter"), QStringLiteral("PaintPicture")}
        << PageCheck::NoPage;
    QTest::newRow("cancelled dialog prints nothing")
        << PictureKind::Framed << true << false << QStringList{QStringLiteral("ShowPrinter")}
        << PageCheck::NoPage;
}

void TestPrintCommand::outcomes()
{
    QFETCH(PictureKind, picture);
    QFETCH(bool, cancel);
    QFETCH(bool, succeeds);
    QFETCH(QStringList, calls);
    QFETCH(PageCheck, check);

    switch (picture) {
    case PictureKind::Framed:
        m_form->Image1().setPicture(framedPicture(kFramedSize, QStringLiteral("framed.png")));
        break;
    case PictureKind::Splash:
        QCOMPARE(m_form->Image1().picture().ownSize(), QSize(392, 515));
        break;
    case PictureKind::Huge:
        m_form->Image1().setPicture(solidPicture(QSize(6000, 4000), QStringLiteral("huge.png")));
        break;
    case PictureKind::Empty:
        m_form->Image1().setPicture(Picture());
        break;
    }
    m_dialog->cancel = cancel;
    LoggingPrinter printer(*m_printer, m_log);

    QCOMPARE(clickPrint(printer), succeeds);
    QCOMPARE(m_log, calls);
    verifyNoDocumentOpen(*m_printer);

    const QStringList written = documents();
    if (check == PageCheck::NoPage) {
        QVERIFY2(written.isEmpty(), qPrintable(written.join(u' ')));
        return;
    }
    QCOMPARE(written.size(), 1);
    if (check == PageCheck::FrameAtOwnSize)
        return verifyFrameAtOwnSize(written.first());

    QCOMPARE(pdfInfo(written.first()).pages, 1);
    if (check == PageCheck::InsideSplashBox) {
        const QRectF marks = inkBoxMillimetres(renderFirstPage(written.first()), Ink::AnyMark);
        QVERIFY(!marks.isEmpty());
        const QRectF allowed =
            kOwnSizeBox.adjusted(-kMeasureToleranceMillimetres, -kMeasureToleranceMillimetres,
                                 kMeasureToleranceMillimetres, kMeasureToleranceMillimetres);
        QVERIFY2(allowed.contains(marks), qPrintable(describe(marks)));
        return;
    }
    const QRectF box = inkBoxMillimetres(renderFirstPage(written.first()), Ink::Dark);
    QVERIFY2(nearMillimetres(box.left(), kQueueMarginMillimetres) &&
                 nearMillimetres(box.top(), kQueueMarginMillimetres) &&
                 nearMillimetres(box.width(), kPrintableWidthMillimetres) &&
                 nearMillimetres(box.height(), kPrintableWidthMillimetres * 4000 / 6000),
             qPrintable(describe(box)));
}

void TestPrintCommand::printingTwiceGivesTwoDocuments()
{
    m_form->Image1().setPicture(framedPicture(kFramedSize, QStringLiteral("framed.png")));
    QVERIFY(clickPrint(*m_printer));
    QVERIFY(clickPrint(*m_printer));

    const QStringList written = documents();
    QCOMPARE(written.size(), 2);
    for (const QString& path : written)
        verifyFrameAtOwnSize(path);
}

void TestPrintCommand::printingAfterAFailedOpenPrintsThePictureStillShown()
{
    m_form->Image1().setPicture(framedPicture(kFramedSize, QStringLiteral("framed.png")));
    // An open whose load raises never reaches Image1.
    const auto loadThatFails = []() -> Picture { throw RuntimeError(ErrorNumber::InvalidPicture); };
    const shell::ErrorPolicy policy(m_form.get(), [this](int) { m_programEnded = true; });
    QVERIFY(
        !policy.run(shell::Trap::Silent, [&] { m_form->Image1().setPicture(loadThatFails()); }));

    QVERIFY(clickPrint(*m_printer));
    const QStringList written = documents();
    QCOMPARE(written.size(), 1);
    verifyFrameAtOwnSize(written.first());
}

void TestPrintCommand::windowSizeDoesNotChangeThePage_data()
{
    QTest::addColumn<QSize>("windowSize");
    QTest::newRow("small window") << QSize(240, 200);
    QTest::newRow("large window") << QSize(1400, 1000);
}

void TestPrintCommand::windowSizeDoesNotChangeThePage()
{
    QFETCH(QSize, windowSize);
    m_form->Image1().setPicture(framedPicture(kFramedSize, QStringLiteral("framed.png")));
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_form->resize(windowSize);
    QTRY_COMPARE(m_form->size(), windowSize);
    // The picture on screen is stretched to a box quite unlike its own size.
    QVERIFY(std::abs(m_form->Image1().width() - kFramedSize.width()) > 50);

    QVERIFY(clickPrint(*m_printer));
    const QStringList written = documents();
    QCOMPARE(written.size(), 1);
    verifyFrameAtOwnSize(written.first());
}

void TestPrintCommand::dialogChoicesReachThePage()
{
    m_form->Image1().setPicture(framedPicture(kFramedSize, QStringLiteral("framed.png")));
    m_dialog->onConfirm = [this] {
        chooseNewFile(*m_printer);
        m_printer->qprinter().setPageOrientation(QPageLayout::Landscape);
    };
    QVERIFY(clickPrint(*m_printer));

    const QStringList written = documents();
    QCOMPARE(written.size(), 1);
    QCOMPARE(pdfInfo(written.first()).pageSizePoints.toSize(), QSize(842, 595));
    verifyFrameAtOwnSize(written.first());
}

void TestPrintCommand::jobIsNamedAfterProgramAndFile_data()
{
    QTest::addColumn<Picture>("picture");
    QTest::addColumn<QString>("title");

    QTest::newRow("opened file gives its name")
        << framedPicture(kFramedSize, QStringLiteral("/home/user/写真/猫 の絵.png"))
        << QStringLiteral("Kavelora - 猫 の絵.png");
    QTest::newRow("built-in splash gives the program's name alone")
        << picture::splashPicture(96.0) << QStringLiteral("Kavelora");
    QTest::newRow("picture without a file gives the program's name alone")
        << Picture(QImage(QSize(10, 10), QImage::Format_RGB32), 96.0) << QStringLiteral("Kavelora");
}

void TestPrintCommand::jobIsNamedAfterProgramAndFile()
{
    QFETCH(Picture, picture);
    QFETCH(QString, title);
    m_form->Image1().setPicture(picture);

    QVERIFY(clickPrint(*m_printer));
    const QStringList written = documents();
    QCOMPARE(written.size(), 1);
    QCOMPARE(pdfInfo(written.first()).title, title);
}

void TestPrintCommand::failedDrawingLeavesNoDocument()
{
    m_form->Image1().setPicture(framedPicture(kFramedSize, QStringLiteral("framed.png")));
    FailingOncePrinter printer;
    m_dialog->onConfirm = [this, &printer] { chooseNewFile(printer); };

    QVERIFY(!clickPrint(printer));
    QVERIFY2(documents().isEmpty(), qPrintable(documents().join(u' ')));

    // The printer is left ready, with no document open: the next print is a whole, single
    // page in a file of its own.
    QVERIFY(clickPrint(printer));
    const QStringList written = documents();
    QCOMPARE(written.size(), 1);
    verifyFrameAtOwnSize(written.first());
    verifyNoDocumentOpen(printer);
}

void TestPrintCommand::reducedDecodeStillFillsThePage()
{
    // The screen holds a tenth of the picture's pixels; the page is sized by the picture.
    QImage screen(600, 400, QImage::Format_RGB32);
    screen.fill(QColor(20, 30, 90));
    m_form->Image1().setPicture(Picture(screen, QSize(6000, 4000), 96.0, {}));

    QVERIFY(clickPrint(*m_printer));
    const QStringList written = documents();
    QCOMPARE(written.size(), 1);
    const QRectF box = inkBoxMillimetres(renderFirstPage(written.first()), Ink::Dark);
    QVERIFY2(nearMillimetres(box.left(), kQueueMarginMillimetres) &&
                 nearMillimetres(box.width(), kPrintableWidthMillimetres) &&
                 nearMillimetres(box.height(), kPrintableWidthMillimetres * 4000 / 6000),
             qPrintable(describe(box)));
}

} // namespace kavelora::tests

QTEST_MAIN(kavelora::tests::TestPrintCommand)
#include "tst_print_command.moc"
