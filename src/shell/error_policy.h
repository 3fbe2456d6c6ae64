// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

namespace kavelora::shell {

// What a handler's error leads to: Silent ends the handler quietly; ReportAndEnd shows the
// standard run-time error message and then ends the program.
enum class Trap { Silent, ReportAndEnd };

// The one guard every event handler runs in, so that no exception ever leaves a Qt slot.
class ErrorPolicy
{
public:
    static constexpr int kUntrappedErrorExitStatus = 1;

    using EndProgram = std::function<void(int exitStatus)>;

    // endProgram gets kUntrappedErrorExitStatus after an error shown over messageParent.
    ErrorPolicy(QWidget* messageParent, EndProgram endProgram);

    // True when handler ended without an error.
    bool run(Trap trap, const std::function<void()>& handler) const noexcept;

private:
    QPointer<QWidget> m_messageParent;
    EndProgram m_endProgram;
};

} // namespace kavelora::shell
