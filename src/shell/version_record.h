// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <span>
#include <string_view>

namespace kavelora::shell {

struct VersionEntry
{
    std::u16string_view key;
    std::u16string_view value;
};

// The string entries in stored order, generated at build time from version_record.tsv.
std::span<const VersionEntry> versionEntries();

// Empty for an unknown key.
QString versionValue(std::u16string_view key);

} // namespace kavelora::shell
