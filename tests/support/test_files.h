// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>

namespace kavelora::tests {

// Writes bytes as the whole of the file at path, replacing it; false when any part fails.
bool writeFile(const QString& path, const QByteArray& bytes);

// Writes bytes as the file name in folder and returns its path. A fixture that cannot be
// written leaves nothing to test, so that ends the run with a message.
QString writeFixture(const QDir& folder, const QString& name, const QByteArray& bytes);

// The whole of the file at path; empty when it cannot be read.
QByteArray readFile(const QString& path);

} // namespace kavelora::tests
