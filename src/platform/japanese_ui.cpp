// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "platform/japanese_ui.h"

#include <QCoreApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <thread>

#ifdef KAVELORA_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace kavelora::platform {

void useJapaneseLocale()
{
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
}

bool ensureJapaneseTranslations()
{
    static bool loaded = false;
    if (loaded)
        return true;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    loaded = true;
    return true;
}

namespace {
std::jthread& fontConfigurationReader()
{
    static std::jthread reader;
    return reader;
}
} // namespace

void startReadingFontConfiguration()
{
#ifdef KAVELORA_HAVE_FONTCONFIG
    // Qt's font database loads the same configuration on first use; fontconfig keeps the
    // first one loaded, so the font database then finds it ready.
    if (!fontConfigurationReader().joinable())
        fontConfigurationReader() = std::jthread([] { FcInit(); });
#endif
}

void finishReadingFontConfiguration()
{
    if (fontConfigurationReader().joinable())
        fontConfigurationReader().join();
}

void installJapaneseFontSubstitutes()
{
    // Debian's fontconfig knows neither name and would hand out DejaVu Sans, a third wider.
    const QStringList gothicFonts = {
        QStringLiteral("IPAPGothic"), QStringLiteral("IPAexGothic"),
        QStringLiteral("IPAGothic"),  QStringLiteral("Noto Sans CJK JP"),
        QStringLiteral("VL PGothic"), QStringLiteral("TakaoPGothic"),
    };
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"), gothicFonts);
    QFont::insertSubstitutions(QStringLiteral("MS PGothic"), gothicFonts);
}

} // namespace kavelora::platform
