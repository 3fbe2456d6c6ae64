// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "platform/error_message.h"

#include "platform/japanese_ui.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace kavelora::platform {

QString runtimeErrorMessageText(const RuntimeError& error)
{
    return QStringLiteral("実行時エラー '%1':\n\n%2").arg(error.number()).arg(error.text());
}

void showRuntimeErrorMessage(const RuntimeError& error, QWidget* parent)
{
    ensureJapaneseTranslations();
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(),
                    runtimeErrorMessageText(error), QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("RuntimeErrorMessage"));
    box.exec();
}

} // namespace kavelora::platform
