// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

namespace kavelora::tests {

// Asks condition until it holds or timeoutMs have passed, letting events through in between;
// the condition's last answer, so false means it never held.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs, int intervalMs = 20);

} // namespace kavelora::tests
