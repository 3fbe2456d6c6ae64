// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "window/layout_rule.h"

#include <algorithm>

namespace kavelora::window {

using platform::Twips;

namespace {

constexpr float kImageWidthMargin = 300.0f;
constexpr float kImageHeightMargin = 1000.0f;
constexpr float kButtonRowOffset = 500.0f;
constexpr double kOpenButtonOffset = 90000.0;
constexpr float kExitButtonOffset = 30000.0f;
constexpr double kPrintButtonOffset = 70000.0;

// The single-precision rules: subtract in float and test the rounded difference.
void addIfPositive(LayoutPass& pass, ControlId control, ControlProperty property, float scale,
                   float margin)
{
    const float difference = scale - margin;
    if (difference > 0.0f)
        pass.add({control, property, Twips{difference}});
}

// A button's horizontal place: right-aligned to the offset once the window is wide enough,
// never left of its stored place.
Twips buttonLeft(ControlId button, double difference)
{
    const double stored = describe(button).left.value;
    return Twips{static_cast<float>(std::max(stored, difference))};
}

} // namespace

LayoutPass layoutPass(Form1::State state, Twips scaleWidth, Twips scaleHeight)
{
    LayoutPass pass;
    if (state == Form1::Minimized)
        return pass;

    const float width = scaleWidth.value;
    const float height = scaleHeight.value;
    addIfPositive(pass, ControlId::Image1, ControlProperty::Width, width, kImageWidthMargin);
    addIfPositive(pass, ControlId::Image1, ControlProperty::Height, height, kImageHeightMargin);

    addIfPositive(pass, ControlId::Command1, ControlProperty::Top, height, kButtonRowOffset);
    pass.add({ControlId::Command1, ControlProperty::Left,
              buttonLeft(ControlId::Command1, static_cast<double>(width) - kOpenButtonOffset)});

    addIfPositive(pass, ControlId::Command2, ControlProperty::Top, height, kButtonRowOffset);
    const float exitDifference = width - kExitButtonOffset;
    pass.add({ControlId::Command2, ControlProperty::Left,
              buttonLeft(ControlId::Command2, static_cast<double>(exitDifference))});

    addIfPositive(pass, ControlId::Command3, ControlProperty::Top, height, kButtonRowOffset);
    pass.add({ControlId::Command3, ControlProperty::Left,
              buttonLeft(ControlId::Command3, static_cast<double>(width) - kPrintButtonOffset)});
    return pass;
}

void applyAssignment(platform::TwipsRect& rect, ControlProperty property, Twips value)
{
    switch (property) {
    case ControlProperty::Left:
        rect.left = value;
        break;
    case ControlProperty::Top:
        rect.top = value;
        break;
    case ControlProperty::Width:
        rect.width = value;
        break;
    case ControlProperty::Height:
        rect.height = value;
        break;
    }
}

void Form_Resize(Form1& form)
{
    const LayoutPass pass = layoutPass(form.WindowState(), form.ScaleWidth(), form.ScaleHeight());
    for (std::size_t i = 0; i < pass.count; ++i) {
        const LayoutAssignment& assignment = pass.assignments[i];
        platform::TwipsRect rect = form.controlRect(assignment.control);
        applyAssignment(rect, assignment.property, assignment.value);
        form.setControlRect(assignment.control, rect);
    }
}

} // namespace kavelora::window
