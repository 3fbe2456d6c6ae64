// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "platform/runtime_error.h"

class QWidget;

namespace kavelora::platform {

// The text of the standard run-time error message, in Japanese, with number and text.
QString runtimeErrorMessageText(const RuntimeError& error);

// Shows the standard run-time error message modally over parent (or centred on the screen).
void showRuntimeErrorMessage(const RuntimeError& error, QWidget* parent);

// The text saying, in Japanese, that fileName could not be opened and why.
QString unopenedFileText(const QString& fileName, const RuntimeError& error);
// Says so in a message over parent, which waits for no answer, and in a line on standard
// error for whoever started the program from a terminal.
void reportUnopenedFile(const QString& fileName, const RuntimeError& error, QWidget* parent);

} // namespace kavelora::platform
