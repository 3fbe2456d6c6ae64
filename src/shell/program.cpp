// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "shell/program.h"

#include "commands/exit_command.h"
#include "commands/open_command.h"
#include "commands/print_command.h"
#include "picture/load_picture.h"
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

void Program::wireEvents()
{
    // Exactly four events reach the program's code; everything else is the toolkit's default.
    // The open handler runs to its end inside the click, behind a modal dialog, so the window
    // takes no other click meanwhile.
    QObject::connect(&m_form.Command1(), &QPushButton::clicked, &m_connections, [this] {
        m_errorPolicy.run(Trap::Silent, [this] {
            commands::Command1_Click(m_form, CommonDialog1(), m_decoding);
        });
    });
    QObject::connect(&m_form.Command2(), &QPushButton::clicked, &m_connections, [this] {
        m_errorPolicy.run(Trap::ReportAndEnd, [this] { commands::Command2_Click(m_form); });
    });
    QObject::connect(&m_form.Command3(), &QPushButton::clicked, &m_connections, [this] {
        m_errorPolicy.run(Trap::Silent,
                          [this] { commands::Command3_Click(m_form, CommonDialog1(), Printer()); });
    });
    QObject::connect(&m_form, &window::Form1::FileDropped, &m_connections,
                     [this](const QString& fileName) {
                         m_errorPolicy.run(Trap::Silent, [this, &fileName] {
                             window::ImageBox& image = m_form.Image1();
                             image.setPicture(picture::LoadPicture(m_decoding, fileName,
                                                                   image.devicePixelSize()));
                         });
                     });
    QObject::connect(&m_form, &window::Form1::Resize, &m_connections, [this] {
        m_errorPolicy.run(Trap::ReportAndEnd, [this] { window::Form_Resize(m_form); });
    });
}

} // namespace kavelora::shell
