// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "platform/twips.h"
#include "window/window_description.h"

#include <QImage>
#include <QWidget>

#include <array>

class QLabel;

namespace kavelora::window {

class CommandButton;
class ImageBox;

// The program's one window, its controls placed in twips. Built by buildForm1().
class Form1 : public QWidget
{
    Q_OBJECT
public:
    enum State : short { Normal = 0, Minimized = 1, Maximized = 2 };

    explicit Form1(QWidget* parent = nullptr);

    platform::Twips ScaleWidth() const;
    platform::Twips ScaleHeight() const;
    State WindowState() const;

    // The window's background colour and the picture drawn once at its top-left corner.
    void setBackground(QColor colour, QImage picture, platform::Twips pictureSize);

    // Takes a child widget as the control id, placed at rect; the window keeps the rect.
    void placeControl(ControlId id, QWidget* widget, const platform::TwipsRect& rect);
    platform::TwipsRect controlRect(ControlId id) const;
    void setControlRect(ControlId id, const platform::TwipsRect& rect);

    CommandButton& Command1() const;
    CommandButton& Command2() const;
    CommandButton& Command3() const;
    QLabel& Label1() const;
    ImageBox& Image1() const;

Q_SIGNALS:
    // The window was first shown, its client size changed, or its state changed.
    void Resize();
    // A local file was dropped on the window; sent once the drop itself has ended.
    void FileDropped(const QString& fileName);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Drags of anything but a local file are refused, so the drop cursor says no.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QWidget* control(ControlId id) const;
    void applyControlGeometry(ControlId id);

    std::array<QWidget*, kControls.size()> m_controls{};
    std::array<platform::TwipsRect, kControls.size()> m_controlRects{};
    QImage m_backgroundPicture;
    platform::Twips m_backgroundPictureSize;
};

} // namespace kavelora::window
