// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "platform/print_dialog.h"

#include "platform/japanese_ui.h"
#include "platform/runtime_error.h"

#include <QPrintDialog>
#include <QPrinter>

namespace kavelora::platform {

void showPrintDialog(QWidget* parent, QPrinter& printer)
{
    ensureJapaneseTranslations();
    QPrintDialog dialog(&printer, parent);
    // A picture is always one page: there is no range to choose.
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    if (dialog.exec() != QDialog::Accepted)
        throw RuntimeError(ErrorNumber::DialogCancelled);
}

} // namespace kavelora::platform
