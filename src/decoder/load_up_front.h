// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

namespace kavelora::decoder {

// Loads every image plugin Qt offers, with the libraries it links, and whatever else a first
// decode or a first warning would load or open lazily, so that a process locked afterwards
// can decode without opening a file.
void loadImagePluginsUpFront();

} // namespace kavelora::decoder
