// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "shell/exit_command.h"

#include "platform/runtime.h"

namespace kavelora::shell {

void Command2_Click(QWidget& form)
{
    platform::Unload(form);
}

} // namespace kavelora::shell
