// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "platform/runtime_error.h"
#include "shell/error_policy.h"

#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace kavelora::shell {

// Runs the window's commands one at a time, each under the error policy: a command asked for
// while another is under way does not run. A command's steps up to its first wait run at
// once; while it then waits on a decode or the printer, the window goes on painting and
// following resizes, shows the busy cursor and refuses drops.
class CommandRunner
{
public:
    // What a command has left to do once its first steps are done.
    using Command = std::function<QFuture<void>()>;
    // Called instead of the trap for the RuntimeError a command's future fails with.
    using OnFailure = std::function<void(const platform::RuntimeError&)>;

    CommandRunner(QWidget& window, const ErrorPolicy& errorPolicy);

    bool isRunning() const { return m_running; }
    // Runs command unless one is under way; what it raises, at once or through its future,
    // goes to trap, or to onFailure when given.
    void run(Trap trap, const Command& command, OnFailure onFailure = {});

private:
    void showBusy(bool busy);
    void finish(Trap trap, const QFuture<void>& done, const OnFailure& onFailure);

    QPointer<QWidget> m_window;
    const ErrorPolicy& m_errorPolicy;
    bool m_running = false;
    bool m_showsBusy = false;
    bool m_tookDrops = false;
    // The context of the waits, so none outlives the runner.
    QObject m_waits;
};

} // namespace kavelora::shell
