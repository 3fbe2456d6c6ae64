// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <functional>

namespace kavelora::tests {

inline constexpr int kModalPollIntervalMs = 20;
// How long a driver waits for its dialog, or for the dialog it answered to close, before it
// rejects whatever modal is up: well inside CTest's timeout.
inline constexpr int kModalRescueAfterMs = 10000;

// While it lives, acts on each modal dialog of type Dialog as soon as it is on screen, from
// a short polling timer: a test can answer a dialog that runs its own event loop. No test is
// left stuck in a modal loop: a dialog act leaves open after a failed check is rejected at
// once; when no dialog of the kind has come after giveUpMs, or with Times::Once the one
// answered is still open then, whatever modal dialog is up is rejected.
template<typename Dialog> class ModalDriver
{
public:
    enum class Times { Once, Every };

    // act runs on the dialog and is expected to close it; giveUpMs -1 never gives up.
    explicit ModalDriver(std::function<void(Dialog&)> act, Times times = Times::Once,
                         int giveUpMs = kModalRescueAfterMs)
        : m_act(std::move(act))
        , m_times(times)
        , m_giveUp(giveUpMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                : QDeadlineTimer(giveUpMs))
    {
        m_timer.setInterval(kModalPollIntervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }

    // How many dialogs of the kind act has run on.
    int seen() const { return m_seen; }

private:
    void poll()
    {
        if (m_times == Times::Once && m_seen > 0) {
            if (!m_answered || !m_answered->isVisible())
                m_timer.stop();
            else if (m_giveUp.hasExpired())
                stopAndReject(m_answered);
            return;
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<Dialog*>(modal); dialog && dialog->isVisible()) {
            ++m_seen;
            m_answered = dialog;
            m_act(*dialog);
            if (m_answered && m_answered->isVisible() && QTest::currentTestFailed())
                m_answered->reject();
        } else if (m_seen == 0 && m_giveUp.hasExpired()) {
            stopAndReject(qobject_cast<QDialog*>(modal));
        }
    }

    void stopAndReject(QDialog* dialog)
    {
        m_timer.stop();
        if (dialog)
            dialog->reject();
    }

    std::function<void(Dialog&)> m_act;
    Times m_times;
    QDeadlineTimer m_giveUp;
    QPointer<QDialog> m_answered;
    QTimer m_timer;
    int m_seen = 0;
};

// Closes every run-time error message that shows while it lives and keeps its text and
// title, so that a handler that should end silently fails its test instead of waiting on it.
class ErrorMessageCatcher
{
public:
    ErrorMessageCatcher()
        : m_driver(
              [this](QMessageBox& box) {
                  if (box.objectName() != QLatin1String("RuntimeErrorMessage"))
                      return;
                  m_texts << box.text();
                  m_titles << box.windowTitle();
                  box.done(QMessageBox::Ok);
              },
              ModalDriver<QMessageBox>::Times::Every, -1)
    {}

    // The texts of the messages closed so far.
    QStringList texts() const { return m_texts; }
    // Their window titles, in the same order.
    QStringList titles() const { return m_titles; }

private:
    QStringList m_texts;
    QStringList m_titles;
    ModalDriver<QMessageBox> m_driver;
};

} // namespace kavelora::tests
