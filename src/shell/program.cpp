// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "shell/program.h"

#include "commands/exit_command.h"
#include "commands/open_command.h"
#include "commands/print_command.h"
#include "picture/load_picture.h"
#include "picture/when_finished.h"
#include "platform/error_message.h"
#include "platform/qt_common_dialog.h"
#include "print/qt_printer.h"
#include "window/command_button.h"
#include "window/form1.h"
#include "window/image_box.h"
#include "window/layout_rule.h"

namespace kavelora::shell {

Program::Program(window::Form1& form, std::shared_ptr<picture::PictureDecoding> decoding,
                 ErrorPolicy::EndProgram endProgram)
    : m_form(form)
    , m_decoding(std::move(decoding))
    , m_errorPolicy(&form, std::move(endProgram))
    , m_commands(form, m_errorPolicy)
{
    wireEvents();
}

Program::~Program() = default;

platform::CommonDialog& Program::CommonDialog1()
{
    // The print dialog edits the very printer that Printer() draws on, so the user's choice
    // of printer, copies and paper reaches the page.
    if (!m_commonDialog)
        m_commonDialog = std::make_unique<platform::QtCommonDialog>(
            &m_form, [this]() -> QPrinter& { return qtPrinter().qprinter(); });
    return *m_commonDialog;
}

print::Printer& Program::Printer()
{
    return qtPrinter();
}

print::QtPrinter& Program::qtPrinter()
{
    if (!m_printer)
        m_printer = std::make_unique<print::QtPrinter>();
    return *m_printer;
}

QFuture<void> Program::showFile(const QString& fileName)
{
    window::ImageBox& image = m_form.Image1();
    return picture::thenOn(
        picture::LoadPicture(m_decoding, fileName, image.devicePixelSize()), &image,
        [&image](picture::Picture picture) { image.setPicture(std::move(picture)); });
}

void Program::openFromCommandLine(const QString& fileName)
{
    m_commands.run(
        Trap::Silent, [this, fileName] { return showFile(fileName); },
        [this, fileName](const platform::RuntimeError& error) {
            platform::reportUnopenedFile(fileName, error, &m_form);
        });
}

void Program::wireEvents()
{
    // Four events of the window reach the program's code, and a file dropped on it; everything
    // else is the toolkit's default.
    // The open and print handlers run to their end behind a modal dialog and then, while they
    // wait on a decode or the printer, as the only command: a click meanwhile runs nothing.
    QObject::connect(&m_form.Command1(), &QPushButton::clicked, &m_connections, [this] {
        m_commands.run(Trap::Silent, [this] {
            return commands::Command1_Click(m_form, CommonDialog1(), m_decoding);
        });
    });
    QObject::connect(&m_form.Command2(), &QPushButton::clicked, &m_connections, [this] {
        m_commands.run(Trap::ReportAndEnd, [this] {
            commands::Command2_Click(m_form);
            return QtFuture::makeReadyFuture();
        });
    });
    QObject::connect(&m_form.Command3(), &QPushButton::clicked, &m_connections, [this] {
        m_commands.run(Trap::Silent, [this] {
            return commands::Command3_Click(m_form, CommonDialog1(), Printer());
        });
    });
    // A file dropped on the window opens as one chosen in the open dialog would.
    QObject::connect(
        &m_form, &window::Form1::FileDropped, &m_connections, [this](const QString& fileName) {
            m_commands.run(Trap::Silent, [this, fileName] { return showFile(fileName); });
        });
    QObject::connect(&m_form, &window::Form1::Resize, &m_connections, [this] {
        m_errorPolicy.run(Trap::ReportAndEnd, [this] { window::Form_Resize(m_form); });
    });
}

} // namespace kavelora::shell
