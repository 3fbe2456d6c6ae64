// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace kavelora::platform {

// The file-name patterns of every picture format the decoder helper reads, separated by
// spaces ("*.heic *.heif *.avif ..."). Generated at build time from the helper's format table,
// which the viewer does not link.
QString pictureFilePatterns();

} // namespace kavelora::platform
