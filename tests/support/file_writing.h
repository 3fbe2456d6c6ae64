// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

namespace kavelora::tests {

// Writes bytes as the whole of the file at path, replacing it; false when any part fails.
bool writeFile(const QString& path, const QByteArray& bytes);

} // namespace kavelora::tests
