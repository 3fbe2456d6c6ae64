// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "window/busy_window.h"

#include <QGuiApplication>
#include <QTimer>

namespace kavelora::window {

BusyWindow::BusyWindow(QWidget& window)
    : m_window(&window)
    , m_focus(window.focusWidget())
    , m_wasEnabled(window.isEnabled())
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    window.setEnabled(false);
}

BusyWindow::~BusyWindow()
{
    QGuiApplication::restoreOverrideCursor();
    if (!m_wasEnabled)
        return;
    // Clicks made while busy are still waiting in the queue; the event loop hands them to the
    // disabled window, which ignores them, before this zero-delay timer enables it again.
    QTimer::singleShot(0, m_window, [window = m_window, focus = m_focus] {
        if (!window)
            return;
        window->setEnabled(true);
        if (focus)
            focus->setFocus();
    });
}

} // namespace kavelora::window
