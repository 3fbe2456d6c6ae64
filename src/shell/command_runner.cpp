// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "shell/command_runner.h"

#include "picture/when_finished.h"

namespace kavelora::shell {

CommandRunner::CommandRunner(QWidget& window, const ErrorPolicy& errorPolicy)
    : m_window(&window)
    , m_errorPolicy(errorPolicy)
{}

void CommandRunner::run(Trap trap, const Command& command, OnFailure onFailure)
{
    if (m_running)
        return;
    m_running = true;
    QFuture<void> rest;
    if (!m_errorPolicy.run(trap, [&] { rest = command(); })) {
        m_running = false;
        return;
    }
    if (rest.isFinished()) {
        finish(trap, rest, onFailure);
        return;
    }
    if (m_window)
        m_window->setCursor(Qt::BusyCursor);
    picture::whenFinished(
        rest, &m_waits, [this, trap, onFailure = std::move(onFailure)](const QFuture<void>& done) {
            finish(trap, done, onFailure);
        });
}

void CommandRunner::finish(Trap trap, const QFuture<void>& done, const OnFailure& onFailure)
{
    m_running = false;
    if (m_window)
        m_window->unsetCursor();
    m_errorPolicy.run(trap, [&] {
        try {
            picture::finishedResult(done);
        } catch (const platform::RuntimeError& error) {
            if (!onFailure)
                throw;
            onFailure(error);
        }
    });
}

} // namespace kavelora::shell
