// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "commands/exit_command.h"

#include "platform/runtime.h"

namespace kavelora::commands {

void Command2_Click(QWidget& form)
{
    platform::Unload(form);
}

} // namespace kavelora::commands
