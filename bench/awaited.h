// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/when_finished.h"

#include <QEventLoop>
#include <QFutureWatcher>

namespace kavelora::bench {

// What future gives, the event loop running until it has finished, as the program's does.
template<typename Result> Result awaited(const QFuture<Result>& future)
{
    QEventLoop loop;
    QFutureWatcher<Result> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec();
    return picture::finishedResult(future);
}

} // namespace kavelora::bench
