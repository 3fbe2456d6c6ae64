// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "window/command_button.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <qdrawutil.h>

namespace kavelora::window {

CommandButton::CommandButton(const QString& caption, QColor faceColour, QWidget* parent)
    : QPushButton(caption, parent)
    , m_faceColour(faceColour)
{
    setAutoDefault(false);
    setDefault(false);
    setFocusPolicy(Qt::StrongFocus);
}

void CommandButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QBrush face(m_faceColour);
    qDrawWinButton(&painter, rect(), palette(), isDown(), &face);

    // A pressed face shows its caption one pixel down and to the right, as the border sinks.
    const int shift = isDown() ? 1 : 0;
    const QRect captionRect = rect().adjusted(2 + shift, 2 + shift, -2 + shift, -2 + shift);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                   QPalette::ButtonText));
    painter.drawText(captionRect, Qt::AlignCenter | Qt::TextSingleLine, text());

    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(4, 4, -4, -4);
        option.backgroundColor = m_faceColour;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void CommandButton::keyPressEvent(QKeyEvent* event)
{
    // QPushButton only takes Enter as a click when it is a dialog's default button.
    if (!event->isAutoRepeat()
        && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        animateClick();
        return;
    }
    QPushButton::keyPressEvent(event);
}

} // namespace kavelora::window
