// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

namespace kavelora::tests {

// The verdict of the PNG head check the pre-checks make today (their HeadCheck as an int),
// which pngHeadCheck is to replace: until it does, every case must give both the same.
int referencePngHeadCheck(const QByteArray& head, qint64 fileSize);

} // namespace kavelora::tests
