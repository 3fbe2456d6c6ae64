// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "shell/error_policy.h"

#include "platform/error_message.h"
#include "platform/runtime_error.h"

#include <new>
#include <optional>

namespace kavelora::shell {

using platform::ErrorNumber;
using platform::RuntimeError;

ErrorPolicy::ErrorPolicy(QWidget* messageParent, EndProgram endProgram)
    : m_messageParent(messageParent)
    , m_endProgram(std::move(endProgram))
{}

bool ErrorPolicy::run(Trap trap, const std::function<void()>& handler) const noexcept
{
    std::optional<RuntimeError> error;
    try {
        handler();
        return true;
    } catch (const RuntimeError& raised) {
        error = raised;
    } catch (const std::bad_alloc&) {
        error = RuntimeError(ErrorNumber::OutOfMemory);
    } catch (...) {
        error = RuntimeError(ErrorNumber::InvalidProcedureCall);
    }
    if (trap == Trap::ReportAndEnd) {
        platform::showRuntimeErrorMessage(*error, m_messageParent);
        m_endProgram(kUntrappedErrorExitStatus);
    }
    return false;
}

} // namespace kavelora::shell
