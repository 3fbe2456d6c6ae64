// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "shell/error_policy.h"

#include <memory>

namespace kavelora::platform {
class CommonDialog;
}
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

    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    ~Program();

    // The dialog component, made on first use.
    platform::CommonDialog& CommonDialog1();

private:
    void wireEvents();

    window::Form1& m_form;
    ErrorPolicy m_errorPolicy;
    std::unique_ptr<platform::CommonDialog> m_commonDialog;
};

} // namespace kavelora::shell
