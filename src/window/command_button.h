// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QPushButton>

namespace kavelora::window {

// A graphical-style push button: the face painted flat in its own colour inside a raised 3D
// border, whatever the widget style would draw. Space or Enter clicks it when it has focus.
class CommandButton : public QPushButton
{
    Q_OBJECT
public:
    CommandButton(const QString& caption, QColor faceColour, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QColor m_faceColour;
};

} // namespace kavelora::window
