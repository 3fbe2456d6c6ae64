// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <exception>

namespace kavelora::platform {

enum class ErrorNumber : int {
    InvalidProcedureCall = 5,
    OutOfMemory = 7,
    // A file or the decoder helper took longer than its time limit.
    DeviceTimeout = 24,
    FileNotFound = 53,
    // No decoder helper can run: it cannot be started or cannot lock itself.
    DeviceUnavailable = 68,
    PathFileAccess = 75,
    InvalidPicture = 481,
    PrinterError = 482,
    DialogCancelled = 32755,
    DialogFailed = 32765,
};

// A failing platform operation: an error number and its Japanese text, as the default error
// message shows them.
class RuntimeError : public std::exception
{
public:
    explicit RuntimeError(ErrorNumber number, QString detail = {});

    int number() const { return static_cast<int>(m_number); }
    ErrorNumber errorNumber() const { return m_number; }
    // The standard text of the number, followed by the detail when there is one.
    QString text() const;
    const char* what() const noexcept override { return m_what.constData(); }

    static QString standardText(ErrorNumber number);

private:
    ErrorNumber m_number;
    QString m_detail;
    QByteArray m_what;
};

} // namespace kavelora::platform
