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

// Qt's translation context, the English text Qt asks for in it, and its Japanese.
constexpr std::array kEntries{
    CatalogueEntry{"QAbstractFileIconProvider", "Folder", u"フォルダー"},
    CatalogueEntry{"QAbstractFileIconProvider", "Drive", u"ドライブ"},
    CatalogueEntry{"QAbstractFileIconProvider", "Unknown", u"不明"},
    CatalogueEntry{"QPrintSettingsOutput", "Pages", u"ページ指定"},
    CatalogueEntry{
        "QPrintSettingsOutput",
        "Specify pages or ranges separated by commas. Ranges are specified by two "
        "numbers separated by a hyphen. E.g: 3,5-7,9 prints pages 3, 5, 6, 7 and 9.",
        u"ページまたはページ範囲をカンマで区切って指定します。範囲は 2 つの数字を"
        u"ハイフンでつないで指定します。例: 3,5-7,9 は 3、5、6、7、9 ページを印刷します。"},
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
