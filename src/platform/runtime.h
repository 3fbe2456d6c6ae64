// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

class QWidget;

namespace kavelora::platform {

// Closes the window (it is hidden, not destroyed); once no window is visible the event loop
// ends and with it the program.
void Unload(QWidget& form);

// Points per-user settings where nothing can be created: Qt's file dialog would otherwise
// keep its history between runs, and this program keeps nothing.
void keepNoSettings();

} // namespace kavelora::platform
