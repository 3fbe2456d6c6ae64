// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
//
// The viewer with its decoding made slow on purpose: pictures are decoded in its own process
// and each result is handed over KAVELORA_TEST_DECODE_DELAY_MS later, from the event loop, as
// a decoder helper busy that long would hand it. Takes files as the viewer does.

#include "in_process_decoding.h"
#include "shell/start.h"

#include <QFile>
#include <QStringList>

int main(int argc, char* argv[])
{
    QStringList files;
    for (int argument = 1; argument < argc; ++argument)
        files << QFile::decodeName(argv[argument]);
    const int delayMs = qEnvironmentVariableIntValue("KAVELORA_TEST_DECODE_DELAY_MS");
    return kavelora::shell::start(argv[0], files, {}, [delayMs] {
        auto decoding = kavelora::tests::inProcessDecoding();
        decoding->deliveryDelayMs = delayMs;
        return decoding;
    });
}
