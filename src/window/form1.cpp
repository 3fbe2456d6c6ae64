// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "window/form1.h"

#include "platform/twips_scale.h"
#include "window/command_button.h"
#include "window/image_box.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>

namespace kavelora::window {

using platform::Twips;
using platform::TwipsRect;
using platform::TwipsScale;

namespace {
std::size_t indexOf(ControlId id)
{
    return static_cast<std::size_t>(id);
}
} // namespace

Form1::Form1(QWidget* parent)
    : QWidget(parent)
{}

Twips Form1::ScaleWidth() const
{
    return TwipsScale::forWidget(*this).fromPixels(width());
}

Twips Form1::ScaleHeight() const
{
    return TwipsScale::forWidget(*this).fromPixels(height());
}

Form1::State Form1::WindowState() const
{
    const Qt::WindowStates states = windowState();
    if (states & Qt::WindowMinimized)
        return Minimized;
    if (states & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return Maximized;
    return Normal;
}

void Form1::setBackground(QColor colour, QImage picture, Twips pictureSize)
{
    QPalette background = palette();
    background.setColor(QPalette::Window, colour);
    setPalette(background);
    setAutoFillBackground(true);
    m_backgroundPicture = std::move(picture);
    m_backgroundPictureSize = pictureSize;
    update();
}

void Form1::placeControl(ControlId id, QWidget* widget, const TwipsRect& rect)
{
    m_controls[indexOf(id)] = widget;
    setControlRect(id, rect);
}

TwipsRect Form1::controlRect(ControlId id) const
{
    return m_controlRects[indexOf(id)];
}

void Form1::setControlRect(ControlId id, const TwipsRect& rect)
{
    m_controlRects[indexOf(id)] = rect;
    applyControlGeometry(id);
}

void Form1::applyControlGeometry(ControlId id)
{
    if (QWidget* widget = m_controls[indexOf(id)])
        widget->setGeometry(TwipsScale::forWidget(*this).toPixels(m_controlRects[indexOf(id)]));
}

QWidget* Form1::control(ControlId id) const
{
    QWidget* widget = m_controls[indexOf(id)];
    Q_ASSERT_X(widget, "Form1::control", "control not placed");
    return widget;
}

CommandButton& Form1::Command1() const
{
    return *static_cast<CommandButton*>(control(ControlId::Command1));
}

CommandButton& Form1::Command2() const
{
    return *static_cast<CommandButton*>(control(ControlId::Command2));
}

CommandButton& Form1::Command3() const
{
    return *static_cast<CommandButton*>(control(ControlId::Command3));
}

QLabel& Form1::Label1() const
{
    return *static_cast<QLabel*>(control(ControlId::Label1));
}

ImageBox& Form1::Image1() const
{
    return *static_cast<ImageBox*>(control(ControlId::Image1));
}

void Form1::paintEvent(QPaintEvent*)
{
    if (m_backgroundPicture.isNull())
        return;
    const int side = TwipsScale::forWidget(*this).toPixels(m_backgroundPictureSize);
    QPainter painter(this);
    painter.drawImage(QRect(0, 0, side, side), m_backgroundPicture);
}

void Form1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Q_EMIT Resize();
}

void Form1::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Q_EMIT Resize();
}

} // namespace kavelora::window
