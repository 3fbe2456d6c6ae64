// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

class QPrinter;
class QWidget;

namespace kavelora::platform {

// Shows the modal print dialog for printer over parent and returns once the user confirms;
// raises RuntimeError(ErrorNumber::DialogCancelled) when the user cancels.
void showPrintDialog(QWidget* parent, QPrinter& printer);

} // namespace kavelora::platform
