// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/when_finished.h"
#include "wait_until.h"

#include <QFuture>

namespace kavelora::tests {

// What future gives once finished, letting events through meanwhile, as the program's event
// loop would; raises what it failed with, DeviceTimeout when it has not finished within
// timeoutMs.
template<typename Result> Result resultOf(const QFuture<Result>& future, int timeoutMs = 30000)
{
    waitUntil([&future] { return future.isFinished(); }, timeoutMs, 1);
    return picture::finishedResult(future);
}

} // namespace kavelora::tests
