// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "shell/error_policy.h"

#include <QObject>

#include <memory>

namespace kavelora::platform {
class CommonDialog;
}
namespace kavelora::print {
class Printer;
class QtPrinter;
} // namespace kavelora::print

namespace kavelora::window {
class Form1;
}

namespace kavelora::shell {

// The running program: the window, the dialog component and the printer the handlers use,
// and the wiring of the four handled events. The dialog component and the printer are made
// on first use, so start-up does not pay for the print system.
class Program
{
public:
    // Creates the program around form. endProgram ends the program with a status.
    Program(window::Form1& form, ErrorPolicy::EndProgram endProgram);

    ~Program();

    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The dialog component, made on first use.
    platform::CommonDialog& CommonDialog1();
    // The program's one printer, made on first use; every call gives the same object.
    print::Printer& Printer();

private:
    void wireEvents();
    print::QtPrinter& qtPrinter();

    window::Form1& m_form;
    ErrorPolicy m_errorPolicy;
    // The context of every connection, so none outlives the program it calls into.
    QObject m_connections;
    std::unique_ptr<print::QtPrinter> m_printer;
    std::unique_ptr<platform::CommonDialog> m_commonDialog;
};

} // namespace kavelora::shell
