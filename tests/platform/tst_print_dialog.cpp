// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The standard print dialog on the program's printer: Japanese, modal to the window, the
// machine's printers listed, a cancel raising and a confirmation keeping the choice.

#include "modal_driver.h"
#include "platform/print_dialog.h"
#include "platform/runtime_error.h"
#include "print/qt_printer.h"
#include "unexpected_warnings.h"

#include <QComboBox>
#include <QPrintDialog>
#include <QSpinBox>
#include <QWidget>
#include <QtTest>

#include <optional>

namespace kavelora::tests {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

// Runs showPrintDialog and returns the error number it raised, if any.
std::optional<ErrorNumber> show(QWidget& parent, QPrinter& printer)
{
    try {
        platform::showPrintDialog(&parent, printer);
    } catch (const RuntimeError& error) {
        return error.errorNumber();
    }
    return std::nullopt;
}

} // namespace

class TestPrintDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { failOnUnexpectedWarnings(); }
    void cancelRaises();
    void confirmingKeepsTheChoiceInThePrinter();
    void speaksJapaneseAndIsModalToTheWindow();
    void listsTheMachinesPrinters();

private:
    QWidget m_window;
};

void TestPrintDialog::cancelRaises()
{
    print::QtPrinter printer;
    const ModalDriver<QPrintDialog> driver([](QPrintDialog& dialog) { dialog.reject(); });
    QCOMPARE(show(m_window, printer.qprinter()), std::optional(ErrorNumber::DialogCancelled));
    QCOMPARE(driver.seen(), 1);
}

void TestPrintDialog::confirmingKeepsTheChoiceInThePrinter()
{
    print::QtPrinter printer;
    bool copiesFound = false;
    const ModalDriver<QPrintDialog> driver([&copiesFound](QPrintDialog& dialog) {
        // The user asks for three copies in the dialog's own copies box.
        if (auto* copies = dialog.findChild<QSpinBox*>(QStringLiteral("copies"))) {
            copiesFound = true;
            copies->setValue(3);
        }
        dialog.accept();
    });
    QCOMPARE(show(m_window, printer.qprinter()), std::nullopt);
    QCOMPARE(driver.seen(), 1);
    QVERIFY(copiesFound);
    QCOMPARE(printer.qprinter().copyCount(), 3);
}

void TestPrintDialog::speaksJapaneseAndIsModalToTheWindow()
{
    print::QtPrinter printer;
    QString title;
    QWidget* parent = nullptr;
    bool modal = false;
    const ModalDriver<QPrintDialog> driver([&](QPrintDialog& dialog) {
        title = dialog.windowTitle();
        parent = dialog.parentWidget();
        modal = dialog.isModal();
        dialog.reject();
    });
    show(m_window, printer.qprinter());
    QCOMPARE(driver.seen(), 1);
    QCOMPARE(title, QStringLiteral("印刷"));
    QCOMPARE(parent, &m_window);
    QVERIFY(modal);
}

void TestPrintDialog::listsTheMachinesPrinters()
{
    if (qEnvironmentVariableIsEmpty("CUPS_SERVER"))
        QSKIP("no private print server: CUPS_SERVER is not set (ctest starts one)");
    print::QtPrinter printer;
    QStringList listed;
    const ModalDriver<QPrintDialog> driver([&](QPrintDialog& dialog) {
        for (const QComboBox* box : dialog.findChildren<QComboBox*>()) {
            for (int i = 0; i < box->count(); ++i)
                listed << box->itemText(i);
        }
        dialog.accept();
    });
    QCOMPARE(show(m_window, printer.qprinter()), std::nullopt);
    QCOMPARE(driver.seen(), 1);
    QVERIFY2(listed.contains(QStringLiteral("kavelora-pdf")), qPrintable(listed.join(u',')));
    QCOMPARE(printer.qprinter().printerName(), QStringLiteral("kavelora-pdf"));
    QCOMPARE(printer.qprinter().outputFormat(), QPrinter::NativeFormat);
}

} // namespace kavelora::tests

QTEST_MAIN(kavelora::tests::TestPrintDialog)
#include "tst_print_dialog.moc"
