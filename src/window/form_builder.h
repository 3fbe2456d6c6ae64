// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

namespace kavelora::window {

class Form1;

// Creates Form1 from the window description: its settings, its controls in their stored
// order, the icon and the splash picture. The window is not shown yet.
std::unique_ptr<Form1> buildForm1();

} // namespace kavelora::window
