// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

namespace kavelora::platform {

// Makes Japanese the default locale, whatever the system's, so dates and numbers in the
// standard dialogs are Japanese. Cheap: call it at start.
void useJapaneseLocale();

// Loads Qt's own Japanese translations once, before the first dialog or message box shows.
// Loading them at start would slow the first window for nothing. Returns false when the
// translations are not installed (the dialogs then speak English).
bool ensureJapaneseTranslations();

// Starts reading the system's font configuration on a thread of its own, so that the few
// milliseconds it takes overlap making the window instead of delaying the first caption.
// Call once the application object exists; does nothing where fontconfig is not used.
void startReadingFontConfiguration();
// Waits until the reading started above has finished, if one was started, then lets Japanese
// text in the application's default font fall back to the Japanese gothic fonts below. Call
// before the first text is measured, so that the configuration is not read twice.
void finishFontSetup();

// Maps the window's Japanese font names to the Japanese gothic fonts a Linux system has.
void installJapaneseFontSubstitutes();

} // namespace kavelora::platform
