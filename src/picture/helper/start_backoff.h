// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <chrono>

namespace kavelora::picture {

// When to try starting a decoder helper again after a run of failed starts: 0.1 s after the
// first, twice as long after each next one, at most 30 s.
class StartBackoff
{
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::chrono::milliseconds kFirstDelay{100};
    static constexpr std::chrono::milliseconds kLongestDelay{30000};

    // The wait after failures failed starts in a row (at least one).
    static std::chrono::milliseconds delayAfter(int failures);

    // A start failed at now for reason. True when the reason is new to the run of failures,
    // so that a caller logs each distinct reason once.
    bool failed(Clock::time_point now, const QString& reason);
    // A helper served a request: the run of failures is over.
    void succeeded();
    bool mayStart(Clock::time_point now) const;
    Clock::time_point nextStart() const { return m_nextStart; }
    int failures() const { return m_failures; }

private:
    int m_failures = 0;
    QString m_reason;
    Clock::time_point m_nextStart{};
};

} // namespace kavelora::picture
