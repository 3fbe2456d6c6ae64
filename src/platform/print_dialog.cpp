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
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted)
        throw RuntimeError(ErrorNumber::DialogCancelled);
}

} // namespace kavelora::platform
