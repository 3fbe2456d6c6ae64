// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QPointer>
#include <QWidget>

namespace kavelora::window {

// While it lives, the window takes no clicks or keys and shows the busy cursor; input given
// meanwhile is dropped, not delivered afterwards.
class BusyWindow
{
public:
    explicit BusyWindow(QWidget& window);
    ~BusyWindow();

    BusyWindow(const BusyWindow&) = delete;
    BusyWindow& operator=(const BusyWindow&) = delete;

private:
    QPointer<QWidget> m_window;
    // Disabling the window takes the keyboard focus away; it goes back where it was.
    QPointer<QWidget> m_focus;
    bool m_wasEnabled;
};

} // namespace kavelora::window
