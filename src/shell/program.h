// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "shell/error_policy.h"

#include <QObject>

#include <memory>

namespace kavelora::picture {
class PictureDecoding;
}
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

// The running program: the window, the dialog component, printer and picture decoding the
// handlers use, and the wiring of the four handled events. Dialogs and printer are made on first
// use, so start-up does not pay for the print system.
class Program
{
public:
    Program(window::Form1& form, std::shared_ptr<picture::PictureDecoding> decoding,
            ErrorPolicy::EndProgram endProgram);

    ~Program();

    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    platform::CommonDialog& CommonDialog1();
    // Every call gives the same printer.
    print::Printer& Printer();

private:
    void wireEvents();
    print::QtPrinter& qtPrinter();

    window::Form1& m_form;
    std::shared_ptr<picture::PictureDecoding> m_decoding;
    ErrorPolicy m_errorPolicy;
    // The context of every connection, so none outlives the program it calls into.
    QObject m_connections;
    std::unique_ptr<print::QtPrinter> m_printer;
    std::unique_ptr<platform::CommonDialog> m_commonDialog;
};

} // namespace kavelora::shell
