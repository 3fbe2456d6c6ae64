// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

namespace kavelora::shell {

// The start routine: creates the application from the project description, shows Form1 and
// runs the event loop until the window is gone. Takes only the program's name: the program
// has no options, and Qt's own (-stylesheet and the like) are not honoured either.
// Returns the process exit status.
int start(const char* programName);

} // namespace kavelora::shell
