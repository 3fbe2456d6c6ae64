// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The standard print dialog on the program's printer: Japanese, modal to the window, the
// machine's printers listed, a cancel raising and a confirmation keeping the choice.

#include "platform/print_dialog.h"
#include "print/qt_printer.h"
#include "platform/runtime_error.h"

#include <QApplication>
#include <QComboBox>
#include <QPrintDialog>
#include <QSpinBox>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <functional>
#include <optional>

namespace kavelora::tests {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

constexpr int kDialogTimeoutMs = 10000;

// Runs act on the print dialog as soon as it is up, from a short polling timer.
class DialogDriver : public QObject
{
public:
    explicit DialogDriver(std::function<void(QPrintDialog&)> act)
        : m_act(std::move(act))
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget())) {
                m_timer.stop();
                seen = true;
                m_act(*dialog);
            } else if (m_waited.hasExpired(kDialogTimeoutMs)) {
                // Never leave a test hanging in a modal loop.
                m_timer.stop();
                if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                    modal->reject();
            }
        });
        m_waited.start();
        m_timer.start();
    }

    bool seen = false;

private:
    std::function<void(QPrintDialog&)> m_act;
    QTimer m_timer;
    QElapsedTimer m_waited;
};

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
    DialogDriver driver([](QPrintDialog& dialog) { dialog.reject(); });
    QCOMPARE(show(m_window, printer.qprinter()), std::optional(ErrorNumber::DialogCancelled));
    QVERIFY(driver.seen);
}

void TestPrintDialog::confirmingKeepsTheChoiceInThePrinter()
{
    print::QtPrinter printer;
    bool copiesFound = false;
    DialogDriver driver([&copiesFound](QPrintDialog& dialog) {
        // The user asks for three copies in the dialog's own copies box.
        if (auto* copies = dialog.findChild<QSpinBox*>(QStringLiteral("copies"))) {
            copiesFound = true;
            copies->setValue(3);
        }
        dialog.accept();
    });
    QCOMPARE(show(m_window, printer.qprinter()), std::nullopt);
    QVERIFY(driver.seen);
    QVERIFY(copiesFound);
    QCOMPARE(printer.qprinter().copyCount(), 3);
}

void TestPrintDialog::speaksJapaneseAndIsModalToTheWindow()
{
    print::QtPrinter printer;
    QString title;
    QWidget* parent = nullptr;
    bool modal = false;
    DialogDriver driver([&](QPrintDialog& dialog) {
        title = dialog.windowTitle();
        parent = dialog.parentWidget();
        modal = dialog.isModal();
        dialog.reject();
    });
    show(m_window, printer.qprinter());
    QVERIFY(driver.seen);
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
    DialogDriver driver([&](QPrintDialog& dialog) {
        for (const QComboBox* box : dialog.findChildren<QComboBox*>()) {
            for (int i = 0; i < box->count(); ++i)
                listed << box->itemText(i);
        }
        dialog.accept();
    });
    QCOMPARE(show(m_window, printer.qprinter()), std::nullopt);
    QVERIFY(driver.seen);
    QVERIFY2(listed.contains(QStringLiteral("kavelora-pdf")), qPrintable(listed.join(u',')));
    QCOMPARE(printer.qprinter().printerName(), QStringLiteral("kavelora-pdf"));
    QCOMPARE(printer.qprinter().outputFormat(), QPrinter::NativeFormat);
}

} // namespace kavelora::tests

QTEST_MAIN(kavelora::tests::TestPrintDialog)
#include "tst_print_dialog.moc"
