// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

namespace kavelora::shell {

// The application's name, version, organisation and desktop id, from the project description
// and the version record.
inline constexpr auto kApplicationId = u"net.ternwick.Kavelora";

void applyApplicationIdentity();

} // namespace kavelora::shell
