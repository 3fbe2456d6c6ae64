// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace kavelora::platform {

// The dialog component: the standard open-file and print dialogs, with settings of its own
// that no caller changes. Every operation raises RuntimeError when it fails; a cancelled
// dialog raises ErrorNumber::DialogCancelled.
class CommonDialog
{
public:
    virtual ~CommonDialog() = default;

    virtual void ShowOpen() = 0;
    // For the printer that Printer draws on.
    virtual void ShowPrinter() = 0;
    // The full path of the file last chosen in the open dialog; empty before any choice.
    virtual QString FileName() const = 0;
};

} // namespace kavelora::platform
