// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

class QWidget;

namespace kavelora::commands {

// "終　了": unloads the window at once, with no prompt and nothing saved.
void Command2_Click(QWidget& form);

} // namespace kavelora::commands
