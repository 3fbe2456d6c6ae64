// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QTimer>

#include <functional>

namespace kavelora::tests {

// While it lives, acts on each modal dialog of type Dialog as soon as it is on screen, from
// a short polling timer: a test can answer a dialog that runs its own event loop.
template<typename Dialog> class ModalDriver
{
public:
    enum class Times { Once, Every };

    // act runs on the dialog and is expected to close it. When no dialog of the kind has
    // shown after giveUpMs (never with -1), whatever modal dialog is up is rejected, so that
    // no test hangs in a modal loop.
    explicit ModalDriver(std::function<void(Dialog&)> act, Times times = Times::Every,
                         int giveUpMs = -1)
        : m_act(std::move(act))
        , m_times(times)
        , m_giveUp(giveUpMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                : QDeadlineTimer(giveUpMs))
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }

    // How many dialogs of the kind act has run on.
    int seen() const { return m_seen; }

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<Dialog*>(modal); dialog && dialog->isVisible()) {
            ++m_seen;
            if (m_times == Times::Once)
                m_timer.stop();
            m_act(*dialog);
        } else if (m_seen == 0 && m_giveUp.hasExpired()) {
            m_timer.stop();
            if (auto* stuck = qobject_cast<QDialog*>(modal))
                stuck->reject();
        }
    }

    std::function<void(Dialog&)> m_act;
    Times m_times;
    QDeadlineTimer m_giveUp;
    QTimer m_timer;
    int m_seen = 0;
};

} // namespace kavelora::tests
