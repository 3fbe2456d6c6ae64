// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

namespace kavelora::window {
class Form1;
}

namespace kavelora::shell {

using BeforeShow = std::function<void(window::Form1&)>;

// Creates the application, shows Form1 and runs the event loop until the window is gone;
// returns the process exit status. Takes only the program's name: the program has no options,
// and Qt's own (-stylesheet and the like) are not honoured either.
int start(const char* programName);
// The same with beforeShow run on Form1 before it is shown. An untrapped error by then ends
// the program at once, without running the event loop.
int start(const char* programName, const BeforeShow& beforeShow);

} // namespace kavelora::shell
