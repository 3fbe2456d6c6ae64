// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "window/form1.h"

#include "platform/twips_scale.h"
#include "window/command_button.h"
#include "window/dropped_picture_file.h"
#include "window/image_box.h"

#include <QDropEvent>
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

// The file the drag carries, when it is one to open. Opening only reads the file: a drop
// never takes a move, which would have the source delete it.
std::optional<QString> acceptAsCopy(QDropEvent& event)
{
    const Qt::DropActions offered = event.possibleActions();
    std::optional<QString> fileName = droppedPictureFile(*event.mimeData());
    if (!fileName || !(offered & (Qt::CopyAction | Qt::LinkAction))) {
        event.ignore();
        return std::nullopt;
    }
    event.setDropAction((offered & Qt::CopyAction) ? Qt::CopyAction : Qt::LinkAction);
    event.accept();
    return fileName;
}

} // namespace

Form1::Form1(QWidget* parent)
    : QWidget(parent)
{
    // The controls accept no drops of their own, so a drop anywhere on them reaches the form.
    setAcceptDrops(true);
}

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

void Form1::dragEnterEvent(QDragEnterEvent* event)
{
    acceptAsCopy(*event);
}

void Form1::dragMoveEvent(QDragMoveEvent* event)
{
    acceptAsCopy(*event);
}

void Form1::dropEvent(QDropEvent* event)
{
    const std::optional<QString> fileName = acceptAsCopy(*event);
    if (!fileName)
        return;
    // The drag source waits for the drop to end; the open, which may take seconds and serve
    // events meanwhile, runs after that.
    QMetaObject::invokeMethod(
        this, [this, name = *fileName] { Q_EMIT FileDropped(name); }, Qt::QueuedConnection);
}

} // namespace kavelora::window
