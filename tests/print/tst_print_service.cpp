// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// Printing through a real CUPS scheduler: the private one of tests/print/cups_server.sh, whose
// default queue saves every job as a PDF file. CTest starts it; run by hand, source its env
// file first.

#include "commands/print_command.h"
#include "future_result.h"
#include "in_process_decoding.h"
#include "modal_driver.h"
#include "page_measures.h"
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
#include <QPrintDialog>
#include <QProcess>
#include <QSpinBox>
#include <QtTest>

#include <new>

namespace kavelora::tests {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

constexpr auto kQueue = "kavelora-pdf";
constexpr int kJobTimeoutMs = 30000;

// Confirms at once: the printer stays the service's default.
class ConfirmingDialog final : public platform::CommonDialog
{
public:
    void ShowOpen() override { throw RuntimeError(ErrorNumber::DialogCancelled); }
    void ShowPrinter() override {}
    QString FileName() const override { return {}; }
};

QString infoField(const QString& infoPath, const QString& key)
{
    QFile file(infoPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString prefix = key + u'=';
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    }
    return {};
}

// Jobs the scheduler knows of, finished or not.
int schedulerJobCount()
{
    QProcess lpstat;
    lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-W"), QStringLiteral("all"),
                                            QStringLiteral("-o"), QString::fromLatin1(kQueue)});
    if (!lpstat.waitForFinished(kJobTimeoutMs) || lpstat.exitCode() != 0)
        return -1;
    return static_cast<int>(
        QString::fromUtf8(lpstat.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts).size());
}

} // namespace

class TestPrintService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void printsAtOwnSizeAtTheTopLeftOfThePrintableArea();
    void printingTwiceGivesTwoJobs();
    void failedDrawingSendsNoJob();
    void printDialogEditsTheProgramsPrinter();

private:
    QStringList jobFiles() const;
    // Waits for count jobs beyond those in before and returns their PDF files.
    QStringList waitForNewJobs(const QStringList& before, int count) const;

    QDir m_output;
};

void TestPrintService::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("CUPS_SERVER") ||
        qEnvironmentVariableIsEmpty("KAVELORA_PRINT_OUTPUT"))
        QSKIP("no private print server: CUPS_SERVER and KAVELORA_PRINT_OUTPUT are not set "
              "(ctest starts one; by hand, run tests/print/cups_server.sh start DIR and source "
              "DIR/env)");
    if (const QString tool = missingPdfTool(); !tool.isEmpty())
        QSKIP(qPrintable(tool + QStringLiteral(" is needed to read printed pages back; "
                                               "install poppler-utils")));
    m_output.setPath(qEnvironmentVariable("KAVELORA_PRINT_OUTPUT"));
    QVERIFY2(m_output.exists(), qPrintable(m_output.path()));
    print::QtPrinter printer;
    QCOMPARE(printer.qprinter().printerName(), QString::fromLatin1(kQueue));
}

void TestPrintService::init()
{
    failOnUnexpectedWarnings();
}

QStringList TestPrintService::jobFiles() const
{
    return m_output.entryList({QStringLiteral("job-*.pdf")}, QDir::Files, QDir::Name);
}

QStringList TestPrintService::waitForNewJobs(const QStringList& before, int count) const
{
    QStringList fresh;
    const auto collect = [&] {
        fresh.clear();
        for (const QString& name : jobFiles()) {
            if (!before.contains(name))
                fresh << m_output.filePath(name);
        }
        return fresh.size() >= count;
    };
    [&] { QTRY_VERIFY_WITH_TIMEOUT(collect(), kJobTimeoutMs); }();
    return fresh;
}

void TestPrintService::printsAtOwnSizeAtTheTopLeftOfThePrintableArea()
{
    const QStringList before = jobFiles();
    print::QtPrinter printer;
    kavelora::tests::resultOf(printer.PaintPicture(
        framedPicture(QSize(392, 515), QStringLiteral("/tmp/framed.png")), 0, 0));
    printer.EndDoc();

    const QStringList jobs = waitForNewJobs(before, 1);
    QCOMPARE(jobs.size(), 1);
    const PdfInfo info = pdfInfo(jobs.first());
    QCOMPARE(info.pages, 1);
    QCOMPARE(info.pageSizePoints.toSize(), QSize(595, 842));
    const QRectF frame = inkBoxMillimetres(renderFirstPage(jobs.first()), Ink::Dark);
    QVERIFY2(nearMillimetres(frame.left(), kQueueMarginMillimetres) &&
                 nearMillimetres(frame.top(), kQueueMarginMillimetres) &&
                 nearMillimetres(frame.width(), 103.72) && nearMillimetres(frame.height(), 136.30),
             qPrintable(QStringLiteral("frame at %1,%2 %3x%4 mm")
                            .arg(frame.x())
                            .arg(frame.y())
                            .arg(frame.width())
                            .arg(frame.height())));
    QString infoPath = jobs.first();
    infoPath.replace(QStringLiteral(".pdf"), QStringLiteral(".info"));
    QCOMPARE(infoField(infoPath, QStringLiteral("title")), QStringLiteral("Kavelora - framed.png"));
}

void TestPrintService::printingTwiceGivesTwoJobs()
{
    const std::unique_ptr<window::Form1> form = window::buildForm1();
    form->Image1().setPicture(framedPicture(QSize(392, 515), QStringLiteral("framed.png")));
    ConfirmingDialog dialog;
    print::QtPrinter printer;
    const shell::ErrorPolicy policy(form.get(), [](int) { QFAIL("a trapped error ended"); });
    const QStringList before = jobFiles();

    for (int click = 0; click < 2; ++click) {
        QVERIFY(policy.run(shell::Trap::Silent, [&] {
            kavelora::tests::resultOf(commands::Command3_Click(*form, dialog, printer));
        }));
    }

    const QStringList jobs = waitForNewJobs(before, 2);
    QCOMPARE(jobs.size(), 2);
    for (const QString& job : jobs)
        QCOMPARE(pdfInfo(job).pages, 1);
}

void TestPrintService::failedDrawingSendsNoJob()
{
    const int jobsBefore = schedulerJobCount();
    QVERIFY2(jobsBefore >= 0, "lpstat (cups-client) is needed to list the scheduler's jobs");
    const QStringList before = jobFiles();
    FailingOncePrinter printer;
    printer.qprinter().setCopyCount(2);
    const auto picture = framedPicture(QSize(392, 515), QStringLiteral("framed.png"));

    QVERIFY_THROWS_EXCEPTION(std::bad_alloc,
                             kavelora::tests::resultOf(printer.PaintPicture(picture, 0, 0)));
    // Had the failed document stayed open, this would send it as a second job.
    printer.EndDoc();
    // The next document goes through whole, with the user's settings as they were.
    kavelora::tests::resultOf(printer.PaintPicture(picture, 0, 0));
    printer.EndDoc();

    const QStringList jobs = waitForNewJobs(before, 1);
    QCOMPARE(jobs.size(), 1);
    QCOMPARE(schedulerJobCount(), jobsBefore + 1);
    QString infoPath = jobs.first();
    infoPath.replace(QStringLiteral(".pdf"), QStringLiteral(".info"));
    QCOMPARE(infoField(infoPath, QStringLiteral("copies")), QStringLiteral("2"));
}

void TestPrintService::printDialogEditsTheProgramsPrinter()
{
    const std::unique_ptr<window::Form1> form = window::buildForm1();
    bool ended = false;
    const shell::Program program(*form, inProcessDecoding(), [&ended](int) { ended = true; });
    form->Image1().setPicture(framedPicture(QSize(392, 515), QStringLiteral("framed.png")));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    const QStringList before = jobFiles();

    // The user asks for two copies on the dialog the print button shows.
    bool copiesChosen = false;
    const ModalDriver<QPrintDialog> driver([&copiesChosen](QPrintDialog& dialog) {
        if (auto* copies = dialog.findChild<QSpinBox*>(QStringLiteral("copies"))) {
            copies->setValue(2);
            copiesChosen = true;
        }
        dialog.accept();
    });
    QTest::mouseClick(&form->Command3(), Qt::LeftButton);
    QCOMPARE(driver.seen(), 1);
    QVERIFY(copiesChosen);

    const QStringList jobs = waitForNewJobs(before, 1);
    QCOMPARE(jobs.size(), 1);
    QString infoPath = jobs.first();
    infoPath.replace(QStringLiteral(".pdf"), QStringLiteral(".info"));
    QCOMPARE(infoField(infoPath, QStringLiteral("copies")), QStringLiteral("2"));
    QVERIFY(!ended);
}

} // namespace kavelora::tests

QTEST_MAIN(kavelora::tests::TestPrintService)
#include "tst_print_service.moc"
