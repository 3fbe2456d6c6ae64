// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "shell/program.h"

#include "platform/qt_printer.h"
#include "shell/exit_command.h"
#include "window/command_button.h"
#include "window/form1.h"
#include "window/layout_rule.h"

namespace kavelora::shell {

Program::Program(window::Form1& form, ErrorPolicy::EndProgram endProgram)
    : m_form(form)
    , m_errorPolicy(&form, std::move(endProgram))
{
    wireEvents();
}

Program::~Program() = default;

platform::Printer& Program::Printer()
{
    return qtPrinter();
}

platform::QtPrinter& Program::qtPrinter()
{
    if (!m_printer)
        m_printer = std::make_unique<platform::QtPrinter>();
    return *m_printer;
}

void Program::wireEvents()
{
    // Exactly four events reach the program's code; everything else is the toolkit's default.
    QObject::connect(&m_form.Command2(), &QPushButton::clicked, &m_form, [this] {
        m_errorPolicy.run(Trap::None, [this] { Command2_Click(m_form); });
    });
    QObject::connect(&m_form, &window::Form1::Resize, &m_form, [this] {
        m_errorPolicy.run(Trap::None, [this] { window::Form_Resize(m_form); });
    });
}

} // namespace kavelora::shell
