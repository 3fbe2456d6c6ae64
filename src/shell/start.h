// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>

namespace kavelora::picture {
class PictureDecoding;
}
namespace kavelora::window {
class Form1;
}

namespace kavelora::shell {

// Given Form1 and the program's picture decoding.
using BeforeShow =
    std::function<void(window::Form1&, const std::shared_ptr<picture::PictureDecoding>&)>;

// Creates the application, shows Form1 and runs the event loop until the window is gone;
// returns the process exit status. Takes only the program's name: the program has no options,
// and Qt's own (-stylesheet and the like) are not honoured either.
int start(const char* programName);
// The same with beforeShow run on Form1 before it is shown. An untrapped error by then ends
// the program at once, without running the event loop.
int start(const char* programName, const BeforeShow& beforeShow);

} // namespace kavelora::shell
