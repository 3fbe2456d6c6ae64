// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "platform/japanese_ui.h"

#include "platform/missing_japanese_texts.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
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
    // Installed last, so asked first, for the few texts Qt's catalogue leaves in English.
    QCoreApplication::installTranslator(new MissingJapaneseTexts(QCoreApplication::instance()));
    loaded = true;
    return true;
}

namespace {

std::jthread& fontConfigurationReader()
{
    static std::jthread reader;
    return reader;
}

// The Japanese gothic fonts a Linux system may have, proportional ones first.
QStringList japaneseGothicFonts()
{
    return {
        QStringLiteral("IPAPGothic"), QStringLiteral("IPAexGothic"),
        QStringLiteral("IPAGothic"),  QStringLiteral("Noto Sans CJK JP"),
        QStringLiteral("VL PGothic"), QStringLiteral("TakaoPGothic"),
    };
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

void finishFontSetup()
{
    if (fontConfigurationReader().joinable())
        fontConfigurationReader().join();

    // The default font's own face stays first, so text it covers looks as before. Japanese
    // text it lacks would otherwise come from whichever face fontconfig sorts first for it,
    // often a monospaced gothic: a second face to load, with other widths than the label's.
    QFont defaultFont = QGuiApplication::font();
    const QString defaultFace = QFontInfo(defaultFont).family();
    if (defaultFace.isEmpty())
        return;
    QStringList families{defaultFace};
    families += japaneseGothicFonts();
    defaultFont.setFamilies(families);
    QGuiApplication::setFont(defaultFont);
}

void installJapaneseFontSubstitutes()
{
    // Debian's fontconfig knows neither name and would hand out DejaVu Sans, a third wider.
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"), japaneseGothicFonts());
    QFont::insertSubstitutions(QStringLiteral("MS PGothic"), japaneseGothicFonts());
}

} // namespace kavelora::platform
