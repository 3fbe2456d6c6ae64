// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

namespace kavelora::platform {

// Makes Japanese the default locale, whatever the system's, so dates and numbers in the
// standard dialogs are Japanese. Cheap: call it at start.
void useJapaneseLocale();

// Loads Qt's own Japanese translations once, before the first dialog or message box shows, not
// at start. Returns false when they are not installed (the dialogs then speak English).
bool ensureJapaneseTranslations();

// Starts reading the font configuration on a thread of its own, overlapping making the window.
// Call once the application object exists; does nothing where fontconfig is not used.
void startReadingFontConfiguration();
// Waits for that reading, if started, then lets Japanese text in the default font fall back to
// the Japanese gothic fonts. Call before the first text is measured.
void finishFontSetup();

// Maps the window's Japanese font names to the gothic fonts a Linux system has.
void installJapaneseFontSubstitutes();

} // namespace kavelora::platform
