// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "shell/command_runner.h"

#include "picture/when_finished.h"

#include <new>

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
    showBusy(true);
    picture::whenFinished(
        rest, &m_waits, [this, trap, onFailure = std::move(onFailure)](const QFuture<void>& done) {
            finish(trap, done, onFailure);
        });
}

void CommandRunner::showBusy(bool busy)
{
    if (!m_window || busy == m_showsBusy)
        return;
    m_showsBusy = busy;
    if (busy) {
        m_window->setCursor(Qt::BusyCursor);
        m_tookDrops = m_window->acceptDrops();
        m_window->setAcceptDrops(false);
    } else {
        m_window->unsetCursor();
        m_window->setAcceptDrops(m_tookDrops);
    }
}

void CommandRunner::finish(Trap trap, const QFuture<void>& done, const OnFailure& onFailure)
{
    showBusy(false);
    m_running = false;
    m_errorPolicy.run(trap, [&] {
        try {
            picture::finishedResult(done);
        } catch (const platform::RuntimeError& error) {
            if (!onFailure)
                throw;
            onFailure(error);
        } catch (const std::bad_alloc&) {
            if (!onFailure)
                throw;
            onFailure(platform::RuntimeError(platform::ErrorNumber::OutOfMemory));
        }
    });
}

} // namespace kavelora::shell
