// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "shell/start.h"

int main(int /*argc*/, char* argv[])
{
    return kavelora::shell::start(argv[0]);
}
