// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "platform/common_dialog.h"
#include "print/printer.h"

#include <QFuture>

namespace kavelora::window {
class Form1;
}

namespace kavelora::commands {

// The print button: shows the print dialog, then prints the picture Image1 holds on one page
// at the top-left corner of the printable area, at its own size or, when larger than the
// area, scaled down to fit it with its proportions kept. Raises RuntimeError when the dialog
// is cancelled or fails; the future finishes once the page is handed to the print service, or
// fails when a step does, and the steps after the failing one do not run.
QFuture<void> Command3_Click(window::Form1& form, platform::CommonDialog& dialog,
                             print::Printer& printer);

} // namespace kavelora::commands
