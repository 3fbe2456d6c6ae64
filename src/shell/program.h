// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "shell/command_runner.h"
#include "shell/error_policy.h"

#include <QFuture>
#include <QObject>
#include <QString>

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
// handlers use, the wiring of the four handled events, and the commands run one at a time. Dialogs
// and printer are made on first use, so start-up does not pay for the print system.
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

    // Opens fileName, named on the command line, as the open command opens a file, once no
    // other command runs; when it cannot, a message names the file and the reason.
    void openFromCommandLine(const QString& fileName);

private:
    void wireEvents();
    // fileName's picture loaded for Image1 and shown there.
    QFuture<void> showFile(const QString& fileName);
    print::QtPrinter& qtPrinter();

    window::Form1& m_form;
    std::shared_ptr<picture::PictureDecoding> m_decoding;
    ErrorPolicy m_errorPolicy;
    CommandRunner m_commands;
    // The context of every connection, so none outlives the program it calls into.
    QObject m_connections;
    std::unique_ptr<print::QtPrinter> m_printer;
    std::unique_ptr<platform::CommonDialog> m_commonDialog;
};

} // namespace kavelora::shell
