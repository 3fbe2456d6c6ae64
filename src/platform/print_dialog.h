// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

class QPrinter;
class QWidget;

namespace kavelora::platform {

// Shows the Japanese print dialog for printer, modal to parent, and keeps the choices made in
// printer. Raises RuntimeError(DialogCancelled) when the user cancels.
void showPrintDialog(QWidget* parent, QPrinter& printer);

} // namespace kavelora::platform
