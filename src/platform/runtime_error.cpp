// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "platform/runtime_error.h"

namespace kavelora::platform {

RuntimeError::RuntimeError(ErrorNumber number, QString detail)
    : m_number(number)
    , m_detail(std::move(detail))
    , m_what(QStringLiteral("%1: %2").arg(static_cast<int>(number)).arg(text()).toUtf8())
{}

QString RuntimeError::text() const
{
    const QString standard = standardText(m_number);
    return m_detail.isEmpty() ? standard : standard + QStringLiteral(" (%1)").arg(m_detail);
}

QString RuntimeError::standardText(ErrorNumber number)
{
    switch (number) {
    case ErrorNumber::InvalidProcedureCall:
        return QStringLiteral("プロシージャの呼び出し、または引数が不正です。");
    case ErrorNumber::OutOfMemory:
        return QStringLiteral("メモリが不足しています。");
    case ErrorNumber::DeviceTimeout:
        return QStringLiteral("デバイスがタイムアウトしました。");
    case ErrorNumber::FileNotFound:
        return QStringLiteral("ファイルが見つかりません。");
    case ErrorNumber::DeviceUnavailable:
        return QStringLiteral("デバイスが準備されていません。");
    case ErrorNumber::PathFileAccess:
        return QStringLiteral("パス名またはファイルへのアクセス エラーです。");
    case ErrorNumber::InvalidPicture:
        return QStringLiteral("ピクチャが不正です。");
    case ErrorNumber::PrinterError:
        return QStringLiteral("プリンタ エラーです。");
    case ErrorNumber::DialogCancelled:
        return QStringLiteral("キャンセルが選択されました。");
    case ErrorNumber::DialogFailed:
        return QStringLiteral("ダイアログを表示できません。");
    }
    return QStringLiteral("アプリケーション定義またはオブジェクト定義のエラーです。");
}

} // namespace kavelora::platform
