// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>

namespace kavelora::protocol {

// Whether socket became ready for events (as poll names them) before deadline.
bool waitForSocket(int socket, short events, std::chrono::steady_clock::time_point deadline);

// What is left until deadline; nothing once it has passed.
std::chrono::milliseconds timeLeft(std::chrono::steady_clock::time_point deadline);

} // namespace kavelora::protocol
