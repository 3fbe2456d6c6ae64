// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// format_probe FILE...: prints, for each FILE, the format the loader takes it for from its
// content ("-" for none) and its name, one line each.

#include "protocol/picture_limits.h"
#include "decoder/picture_decoder.h"
#include "decoder/common/picture_prechecks.h"

#include <QFile>

#include <cstdio>

int main(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        QFile file(QFile::decodeName(argv[i]));
        QByteArray format;
        if (file.open(QIODevice::ReadOnly))
            format = kavelora::picture::sniffPictureFormat(
                file.read(kavelora::picture::kPictureHeadBytes));
        std::printf("%s %s\n", format.isEmpty() ? "-" : format.constData(), argv[i]);
    }
    return 0;
}
