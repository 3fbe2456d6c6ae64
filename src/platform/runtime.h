// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

class QWidget;

namespace kavelora::platform {

// Closes the window and releases what it shows; with the last window gone the program ends.
void Unload(QWidget& form);

// Qt's file dialog writes its history and last folder to a settings file when it closes;
// this program keeps nothing between runs, so point per-user settings where nothing can be
// created.
void keepNoSettings();

} // namespace kavelora::platform
