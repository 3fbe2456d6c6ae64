// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "platform/missing_japanese_texts.h"

#include <array>
#include <string_view>

namespace kavelora::platform {

namespace {

struct CatalogueEntry
{
    std::string_view context;
    std::string_view sourceText;
    const char16_t* japanese;
};

constexpr std::array kEntries{
    CatalogueEntry{"QPrintSettingsOutput", "Pages", u"ページ指定"},
    CatalogueEntry{"QPrintSettingsOutput", "Double Sided Printing", u"両面印刷"},
    CatalogueEntry{"QPrintSettingsOutput", "Off", u"なし"},
    CatalogueEntry{"QPrintSettingsOutput", "Long side binding", u"長辺綴じ"},
    CatalogueEntry{"QPrintSettingsOutput", "Short side binding", u"短辺綴じ"},
    CatalogueEntry{"QPrintPropertiesWidget", "Advanced", u"詳細設定"},
};

} // namespace

QString MissingJapaneseTexts::translate(const char* context, const char* sourceText,
                                        const char* /*disambiguation*/, int /*n*/) const
{
    if (!context || !sourceText)
        return {};
    for (const CatalogueEntry& entry : kEntries) {
        if (entry.context == context && entry.sourceText == sourceText)
            return QString::fromUtf16(entry.japanese);
    }
    return {};
}

} // namespace kavelora::platform
