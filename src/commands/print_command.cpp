// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "commands/print_command.h"

#include "picture/when_finished.h"
#include "window/form1.h"
#include "window/image_box.h"

namespace kavelora::commands {

QFuture<void> Command3_Click(window::Form1& form, platform::CommonDialog& dialog,
                             print::Printer& printer)
{
    // The dialog's outcome is not inspected: a cancel raises, anything else goes ahead.
    dialog.ShowPrinter();
    const picture::Picture picture = form.Image1().picture();
    return picture::thenOn(printer.PaintPicture(picture, 0.0f, 0.0f), &form,
                           [&printer] { printer.EndDoc(); });
}

} // namespace kavelora::commands
