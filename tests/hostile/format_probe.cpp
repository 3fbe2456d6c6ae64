// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// format_probe FILE...: prints, for each FILE, the format the loader takes it for from its
// content ("-" for none) and its name, one line each.

#include "decoder/format_table.h"
#include "decoder/picture_decoder.h"
#include "protocol/picture_limits.h"

#include <QFile>

#include <cstdio>

int main(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        QFile file(QFile::decodeName(argv[i]));
        QByteArray format;
        if (file.open(QIODevice::ReadOnly))
            format = kavelora::decoder::sniffPictureFormat(
                file.read(kavelora::protocol::kPictureHeadBytes));
        std::printf("%s %s\n", format.isEmpty() ? "-" : format.constData(), argv[i]);
    }
    return 0;
}
