// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "protocol/socket_wait.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>

namespace kavelora::protocol {

bool waitForSocket(int socket, short events, std::chrono::steady_clock::time_point deadline)
{
    pollfd ready{socket, events, 0};
    int count = -1;
    do {
        count = ::poll(&ready, 1, static_cast<int>(timeLeft(deadline).count()));
    } while (count < 0 && errno == EINTR);
    return count > 0;
}

std::chrono::milliseconds timeLeft(std::chrono::steady_clock::time_point deadline)
{
    return std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now()),
                    std::chrono::milliseconds(0));
}

} // namespace kavelora::protocol
