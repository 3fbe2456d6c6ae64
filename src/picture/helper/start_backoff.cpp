// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/helper/start_backoff.h"

#include <algorithm>

namespace kavelora::picture {

std::chrono::milliseconds StartBackoff::delayAfter(int failures)
{
    std::chrono::milliseconds delay = kFirstDelay;
    for (int doubled = 1; doubled < failures && delay < kLongestDelay; ++doubled)
        delay *= 2;
    return std::min(delay, kLongestDelay);
}

bool StartBackoff::failed(Clock::time_point now, const QString& reason)
{
    ++m_failures;
    m_nextStart = now + delayAfter(m_failures);
    const bool isNew = m_failures == 1 || reason != m_reason;
    m_reason = reason;
    return isNew;
}

void StartBackoff::succeeded()
{
    m_failures = 0;
    m_reason.clear();
    m_nextStart = {};
}

bool StartBackoff::mayStart(Clock::time_point now) const
{
    return m_failures == 0 || now >= m_nextStart;
}

} // namespace kavelora::picture
