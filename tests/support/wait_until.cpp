// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "wait_until.h"

#include <QDeadlineTimer>
#include <QTest>

#include <algorithm>

namespace kavelora::tests {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs, int intervalMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        // One last look right at the deadline rather than a whole interval past it.
        QTest::qWait(static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 1, intervalMs)));
    }
    return true;
}

} // namespace kavelora::tests
