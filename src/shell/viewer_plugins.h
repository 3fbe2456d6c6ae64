// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

namespace kavelora::shell {

// Points Qt at the viewer's own plugin folder, which holds every kind of Qt plugin but the
// image formats: the viewer decodes no picture itself, and Qt would load every image plugin
// to read a single icon. Call before the application object is made.
void useQtPluginsWithoutImageFormats();

} // namespace kavelora::shell
