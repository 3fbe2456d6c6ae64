// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "platform/runtime_error.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QPromise>

#include <exception>
#include <memory>
#include <type_traits>
#include <utility>

namespace kavelora::picture {

// Calls done(future) from context's thread once future has finished, as an event of its own,
// never within the call that finished it; never once context is gone.
template<typename Result, typename Done>
void whenFinished(const QFuture<Result>& future, QObject* context, Done done)
{
    auto* watcher = new QFutureWatcher<Result>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher,
                     [watcher, done = std::move(done)]() mutable {
                         watcher->deleteLater();
                         done(watcher->future());
                     });
    watcher->setFuture(future);
}

// What a finished request gave; raises what ended it, DeviceUnavailable for one cancelled or
// dropped unanswered. Never waits: a future still running raises DeviceTimeout.
template<typename Result> Result finishedResult(const QFuture<Result>& future)
{
    if (!future.isFinished())
        throw platform::RuntimeError(platform::ErrorNumber::DeviceTimeout);
    if (future.resultCount() == 0) {
        // Finished without a result: what ended it is raised here, if anything did.
        QFuture<Result>(future).waitForFinished();
        throw platform::RuntimeError(platform::ErrorNumber::DeviceUnavailable);
    }
    return future.result();
}

// Raises what ended a finished future of nothing, if anything did.
inline void finishedResult(const QFuture<void>& future)
{
    if (!future.isFinished())
        throw platform::RuntimeError(platform::ErrorNumber::DeviceTimeout);
    QFuture<void>(future).waitForFinished();
}

// Finishes promise with what call returned, or the exception it raised.
template<typename Result, typename Call> void fulfil(QPromise<Result>& promise, Call call)
{
    try {
        if constexpr (std::is_void_v<Result>)
            call();
        else
            promise.addResult(call());
    } catch (...) {
        promise.setException(std::current_exception());
    }
    promise.finish();
}

// A future that finishes once next has run with future's result, called from context's thread
// as whenFinished calls; it fails with what future failed with or what next raised, and ends
// cancelled when context goes first.
template<typename Result, typename Next>
QFuture<void> thenOn(const QFuture<Result>& future, QObject* context, Next next)
{
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    whenFinished(future, context,
                 [promise, next = std::move(next)](const QFuture<Result>& done) mutable {
                     fulfil(*promise, [&] {
                         if constexpr (std::is_void_v<Result>) {
                             finishedResult(done);
                             next();
                         } else {
                             next(finishedResult(done));
                         }
                     });
                 });
    return promise->future();
}

// A future that already holds what call returned, or the exception it raised.
template<typename Result, typename Call> QFuture<Result> finishedFuture(Call call)
{
    QPromise<Result> promise;
    QFuture<Result> future = promise.future();
    promise.start();
    fulfil(promise, std::move(call));
    return future;
}

} // namespace kavelora::picture
