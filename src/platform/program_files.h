// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace kavelora::platform {

// The file at relativePath from the folder of the running program's executable, made
// absolute. The program's own files are found only there, installed or in the build tree
// (which has the installed layout), so no other copy of them ever runs in its place.
QString besideProgram(const QString& relativePath);

} // namespace kavelora::platform
