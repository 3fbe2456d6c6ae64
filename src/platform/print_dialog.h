// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

class QPrinter;
class QWidget;

namespace kavelora::platform {

// Shows the standard print dialog, in Japanese, for printer, modal to parent, and returns once
// the user has confirmed it; the choices made there are kept in printer. Raises
// RuntimeError(DialogCancelled) when the user cancels.
void showPrintDialog(QWidget* parent, QPrinter& printer);

} // namespace kavelora::platform
