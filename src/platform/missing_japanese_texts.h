// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QTranslator>

namespace kavelora::platform {

// The few texts of Qt's standard dialogs that Qt's own Japanese catalogue leaves in English.
// Install it after that catalogue, so it is asked first.
class MissingJapaneseTexts : public QTranslator
{
    Q_OBJECT

public:
    using QTranslator::QTranslator;

    // The Japanese for sourceText in context, or a null string when this catalogue lacks it.
    QString translate(const char* context, const char* sourceText,
                      const char* disambiguation = nullptr, int n = -1) const override;
    // Never empty, so that installing it is not reported as a failure.
    bool isEmpty() const override { return false; }
};

} // namespace kavelora::platform
