// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "seeded_random.h"

namespace kavelora::tests {

QByteArray SeededRandom::bytes(qsizetype count)
{
    QByteArray result(count, Qt::Uninitialized);
    for (char& byte : result)
        byte = static_cast<char>(next() & 0xFF);
    return result;
}

} // namespace kavelora::tests
