// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "platform/colour.h"
#include "platform/twips.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace kavelora::window {

using platform::Colour;
using platform::Twips;

struct FormDescription
{
    std::u16string_view caption;
    Colour backColor;
    Twips clientWidth;
    Twips clientHeight;
    // The icon doubles as the background picture, drawn once at its own size at 0, 0.
    Twips backgroundPictureSize;
};

inline constexpr FormDescription kForm1{
    .caption = u"Kavelora Ver1.0",
    .backColor = Colour{0x00C0C0FF},
    .clientWidth = Twips{7425},
    .clientHeight = Twips{8460},
    .backgroundPictureSize = Twips{480},
};

enum class ControlKind { CommandButton, DialogComponent, Label, Image };

// Each control's index in kControls.
enum class ControlId : std::size_t { Command3, CommonDialog1, Command2, Command1, Label1, Image1 };

inline constexpr int kNoTabIndex = -1;

struct ControlDescription
{
    ControlId id;
    std::u16string_view name;
    ControlKind kind;
    Twips left;
    Twips top;
    Twips width; // a label sizes itself to its text; this is its size in the stored font
    Twips height;
    int tabIndex;
    std::u16string_view caption;
};

// clang-format off
// id                        name              kind                          left          top           width         height        tab          caption
inline constexpr std::array<ControlDescription, 6> kControls{{
    {ControlId::Command3,      u"Command3",      ControlKind::CommandButton,   Twips{1680},  Twips{5520},  Twips{1215},  Twips{495},   2,           u"印　刷"},
    {ControlId::CommonDialog1, u"CommonDialog1", ControlKind::DialogComponent, Twips{360},   Twips{5520},  Twips{0},     Twips{0},     kNoTabIndex, u""},
    {ControlId::Command2,      u"Command2",      ControlKind::CommandButton,   Twips{3000},  Twips{5520},  Twips{1215},  Twips{495},   1,           u"終　了"},
    {ControlId::Command1,      u"Command1",      ControlKind::CommandButton,   Twips{360},   Twips{5520},  Twips{1215},  Twips{495},   0,           u"開　く"},
    {ControlId::Label1,        u"Label1",        ControlKind::Label,           Twips{720},   Twips{120},   Twips{6345},  Twips{390},   3,           u"ワハハハ・・・このソフトウェアの著作権はTernwickに帰属します。\r\n"},
    {ControlId::Image1,        u"Image1",        ControlKind::Image,           Twips{120},   Twips{480},   Twips{7215},  Twips{4455},  kNoTabIndex, u""},
}};
// clang-format on

inline constexpr Colour kCommandButtonBackColor{0x00FFFFC0};

// Label1's font. Character set 128 is Shift-JIS; Qt picks glyphs by text, so it is kept
// for the record only.
struct FontDescription
{
    std::u16string_view name;
    double pointSize;
    int weight;
    int charset;
};

inline constexpr FontDescription kLabel1Font{u"ＭＳ Ｐゴシック", 9.75, 700, 128};

constexpr const ControlDescription& describe(ControlId id)
{
    return kControls[static_cast<std::size_t>(id)];
}

static_assert([] {
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        if (static_cast<std::size_t>(kControls[i].id) != i)
            return false;
    }
    return true;
}(), "kControls rows must sit at the index of their ControlId");

static_assert([] {
    // Focus order open, exit, print, then the label: each tab index used once.
    int seen = 0;
    for (const auto& control : kControls) {
        if (control.tabIndex != kNoTabIndex)
            seen |= 1 << control.tabIndex;
    }
    return seen == 0b1111;
}(), "tab indexes 0 to 3 must each be used once");

static_assert(describe(ControlId::Command1).left < describe(ControlId::Command3).left
                  && describe(ControlId::Command3).left < describe(ControlId::Command2).left,
              "the button row reads open, print, exit from left to right");

} // namespace kavelora::window
