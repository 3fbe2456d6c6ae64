// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

namespace kavelora::shell {

// What the start routine is handed: the project, its one window and its one thread.
struct ProjectDescription
{
    std::u16string_view projectName;
    std::u16string_view startObject;
    int windowCount;
    int externalComponentCount;
    // Locale of the runtime's own messages.
    int messageLocale;
    int threadCount;
};

inline constexpr ProjectDescription kProject{u"Kavelora", u"Form1", 1, 1, 0x0411, 1};

} // namespace kavelora::shell
