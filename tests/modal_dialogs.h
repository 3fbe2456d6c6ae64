// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

// Driving the modal dialogs a test opens, without ever leaving a test stuck in a modal loop
// until CTest's timeout: a failed check inside a dialog's callback, a dialog that never comes
// or an unexpected error message is closed, and the test fails.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <functional>

namespace kavelora::tests {

inline constexpr int kModalPollIntervalMs = 20;
inline constexpr int kModalRescueAfterMs = 10000;

// Runs act once on the first visible modal Dialog, from a short polling timer. The rescue:
// when act leaves the dialog open after a failed check it is rejected at once; when no such
// dialog shows, or it is still open kModalRescueAfterMs later, the open modal is rejected.
template<class Dialog> class WhenModalShows
{
public:
    explicit WhenModalShows(std::function<void(Dialog&)> act)
        : m_act(std::move(act))
    {
        m_timer.setInterval(kModalPollIntervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_waited.start();
        m_timer.start();
    }

    // Whether the dialog showed and act ran on it.
    bool seen() const { return m_seen; }

private:
    void poll()
    {
        if (m_seen) {
            if (!m_dialog || !m_dialog->isVisible())
                m_timer.stop();
            else if (m_waited.hasExpired(kModalRescueAfterMs))
                rescue(m_dialog);
            return;
        }
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog && dialog->isVisible()) {
            m_seen = true;
            m_dialog = dialog;
            m_act(*dialog);
            if (m_dialog && m_dialog->isVisible() && QTest::currentTestFailed())
                rescue(m_dialog);
        } else if (m_waited.hasExpired(kModalRescueAfterMs)) {
            rescue(qobject_cast<QDialog*>(QApplication::activeModalWidget()));
        }
    }

    void rescue(QDialog* dialog)
    {
        m_timer.stop();
        if (dialog)
            dialog->reject();
    }

    std::function<void(Dialog&)> m_act;
    QPointer<QDialog> m_dialog;
    bool m_seen = false;
    QTimer m_timer;
    QElapsedTimer m_waited;
};

// Closes every run-time error message that shows while it lives and keeps its text, so that
// a handler that should end silently fails its test instead of waiting on the message.
class ErrorMessageCatcher
{
public:
    ErrorMessageCatcher()
    {
        m_timer.setInterval(kModalPollIntervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box && box->objectName() == QLatin1String("RuntimeErrorMessage")) {
                m_texts << box->text();
                box->done(QMessageBox::Ok);
            }
        });
        m_timer.start();
    }

    // The texts of the messages closed so far.
    QStringList texts() const { return m_texts; }

private:
    QTimer m_timer;
    QStringList m_texts;
};

} // namespace kavelora::tests
