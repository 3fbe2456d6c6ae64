// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
//
// Stands in for "the program opening this file" in whole-process figures: starts the real
// program as "kavelora FILE" does, its window resized to 1000 x 700 pixels before it first
// appears; the program then loads the file through the real LoadPicture and shows it.
//
//   kavelora_open FILE

#include "shell/start.h"
#include "window/form1.h"

#include <QString>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kavelora_open FILE\n");
        return 2;
    }
    return kavelora::shell::start(argv[0], {QString::fromLocal8Bit(argv[1])},
                                  [](kavelora::window::Form1& form, const auto&) {
                                      form.resize(1000, 700);
                                  });
}
