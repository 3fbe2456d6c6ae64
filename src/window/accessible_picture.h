// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/picture.h"

#include <QString>

class QWidget;

namespace kavelora::window {

// What a screen reader says about the picture: the file's name, the start picture, or that
// there is none.
QString accessiblePictureDescription(const picture::Picture& picture);

// Names the picture area "画像" and describes the picture it now shows.
void describeForScreenReaders(QWidget& area, const picture::Picture& picture);

} // namespace kavelora::window
