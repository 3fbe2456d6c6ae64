// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "shell/start.h"

#include <QFile>
#include <QStringList>

int main(int argc, char* argv[])
{
    QStringList files;
    for (int argument = 1; argument < argc; ++argument)
        files << QFile::decodeName(argv[argument]);
    return kavelora::shell::start(argv[0], files);
}
