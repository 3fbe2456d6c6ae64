// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "commands/print_command.h"

#include "window/busy_window.h"
#include "window/form1.h"
#include "window/image_box.h"

namespace kavelora::commands {

void Command3_Click(window::Form1& form, platform::CommonDialog& dialog, print::Printer& printer)
{
    // The dialog's outcome is not inspected: a cancel raises, anything else goes ahead.
    dialog.ShowPrinter();
    const picture::Picture picture = form.Image1().picture();
    const window::BusyWindow busy(form);
    printer.PaintPicture(picture, 0.0f, 0.0f);
    printer.EndDoc();
}

} // namespace kavelora::commands
