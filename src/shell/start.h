// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QStringList>

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
// Makes the picture decoding the program uses in place of the decoder helper.
using MakeDecoding = std::function<std::shared_ptr<picture::PictureDecoding>()>;

// Creates the application, shows Form1, opens the first of files, if any, as soon as the window
// is shown, and runs the event loop until the window is gone; returns the process exit status.
// Takes only the program's name and the files: the program has no options, and Qt's own
// (-stylesheet and the like) are not honoured either.
int start(const char* programName, const QStringList& files = {});
// The same with beforeShow run on Form1 before it is shown, and the picture decoding
// makeDecoding gives when it is set. An untrapped error by then ends the program at once,
// without running the event loop.
int start(const char* programName, const QStringList& files, const BeforeShow& beforeShow,
          const MakeDecoding& makeDecoding = {});

} // namespace kavelora::shell
