// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QRegularExpression>
#include <QTest>

namespace kavelora::tests {

// Makes any Qt warning fail the current test, except those the offscreen platform gives for
// every dialog and popup it shows, which say nothing about the program.
inline void failOnUnexpectedWarnings()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(
        "^(?!This plugin does not support (propagateSizeHints\\(\\)|raise\\(\\)|grabbing the "
        "keyboard)$)")));
}

} // namespace kavelora::tests
