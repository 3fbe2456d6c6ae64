// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
//
// Stands in for "the program opening this file" in whole-process figures: starts the real
// program and window, resizes the window to 1000 x 700 pixels, loads the file through the
// real LoadPicture and shows it in Image1 before the window first appears.
//
//   kavelora_open FILE

#include "opened_copy_size.h"
#include "picture/load_picture.h"
#include "platform/runtime_error.h"
#include "shell/start.h"
#include "window/form1.h"
#include "window/image_box.h"

#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kavelora_open FILE\n");
        return 2;
    }
    const QString fileName = QString::fromLocal8Bit(argv[1]);
    return kavelora::shell::start(
        argv[0], [&fileName](kavelora::window::Form1& form, const auto& decoding) {
            form.resize(1000, 700);
            try {
                form.Image1().setPicture(kavelora::picture::LoadPicture(
                    decoding, fileName, kavelora::bench::openedCopySize()));
            } catch (const kavelora::platform::RuntimeError& error) {
                std::fprintf(stderr, "kavelora_open: %s\n", qPrintable(error.text()));
                std::exit(1);
            }
        });
}
