// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "platform/error_message.h"

#include "platform/japanese_ui.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

#include <cstdio>

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

QString unopenedFileText(const QString& fileName, const RuntimeError& error)
{
    return QStringLiteral("「%1」を開けません。\n%2")
        .arg(QDir::toNativeSeparators(fileName), RuntimeError::standardText(error.errorNumber()));
}

void reportUnopenedFile(const QString& fileName, const RuntimeError& error, QWidget* parent)
{
    const QString text = unopenedFileText(fileName, error);
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(QString(text).replace(QLatin1Char('\n'), QLatin1Char(' '))));
    ensureJapaneseTranslations();
    // Titled with the file's own name: the message is about it, in no other language.
    auto* box = new QMessageBox(QMessageBox::Warning, QFileInfo(fileName).fileName(), text,
                                QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("UnopenedFileMessage"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->show();
}

} // namespace kavelora::platform
