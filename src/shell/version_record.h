// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace kavelora::shell {

struct VersionEntry
{
    std::u16string_view key;
    std::u16string_view value;
};

struct VersionFixedPart
{
    std::array<std::uint16_t, 4> fileVersion;
    std::array<std::uint16_t, 4> productVersion;
    std::uint16_t language;
    std::uint16_t codePage;
};

inline constexpr VersionFixedPart kVersionFixedPart{{1, 0, 0, 0}, {1, 0, 0, 0}, 0x0411, 1200};

// The string entries in stored order, generated at build time from version_record.tsv.
std::span<const VersionEntry> versionEntries();

// Empty for an unknown key.
QString versionValue(std::u16string_view key);

} // namespace kavelora::shell
