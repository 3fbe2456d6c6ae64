// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

namespace kavelora::window {
class Form1;
}

namespace kavelora::shell {

// Runs on the built window just before it is first shown.
using BeforeShow = std::function<void(window::Form1&)>;

// The start routine: creates the application from the project description, shows Form1 and
// runs the event loop until the window is gone. Takes only the program's name: the program
// has no options, and Qt's own (-stylesheet and the like) are not honoured either.
// Returns the process exit status.
int start(const char* programName);
// The same start with beforeShow run on Form1 before it is shown: how the benchmarks open a
// picture in the real window without giving the program itself an argument.
int start(const char* programName, const BeforeShow& beforeShow);

} // namespace kavelora::shell
