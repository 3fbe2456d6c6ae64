// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

namespace kavelora::shell {

// The reverse-DNS application id, defined once by the build and shared with the packaging.
inline constexpr auto kApplicationId = u"" KAVELORA_APPLICATION_ID;

// Sets Qt's application name, version and organisation from the version record and the
// desktop file name from kApplicationId; call before the first window is created.
void applyApplicationIdentity();

} // namespace kavelora::shell
