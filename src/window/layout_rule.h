// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "platform/twips.h"
#include "window/form1.h"
#include "window/window_description.h"

#include <array>
#include <cstddef>

namespace kavelora::window {

// Keeps the picture area filling the window less its margins and the button row 500 twips
// above the bottom edge. Buttons slide right only on very wide windows, each never left of
// where the description puts it, so they come back when the window narrows and never cover
// one another.

enum class ControlProperty { Left, Top, Width, Height };

struct LayoutAssignment
{
    ControlId control;
    ControlProperty property;
    platform::Twips value;
};

// One pass's assignments in order, held inline so a pass allocates nothing.
struct LayoutPass
{
    std::array<LayoutAssignment, 8> assignments{};
    std::size_t count = 0;

    void add(LayoutAssignment assignment) { assignments[count++] = assignment; }
};

// The pass for a window in state with the given client size in twips. A minimized window
// gets no assignment; a size too small for a rule leaves that property as it is.
LayoutPass layoutPass(Form1::State state, platform::Twips scaleWidth, platform::Twips scaleHeight);

void applyAssignment(platform::TwipsRect& rect, ControlProperty property, platform::Twips value);

// The Resize handler.
void Form_Resize(Form1& form);

} // namespace kavelora::window
