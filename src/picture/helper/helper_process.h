// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "protocol/unique_descriptor.h"

#include <QString>

#include <chrono>
#include <cstddef>
#include <optional>
#include <sys/types.h>

namespace kavelora::picture {

// A decoder helper process the viewer started. Ending it never waits for it: it is killed
// and reaped once the kernel says it has gone, which for a process stuck in a hung file
// system may be much later, or never.
class HelperProcess
{
public:
    HelperProcess() = default;
    // Takes charge of the child pid.
    explicit HelperProcess(pid_t pid);
    // Ends it.
    ~HelperProcess();
    HelperProcess(HelperProcess&& other) noexcept;
    HelperProcess& operator=(HelperProcess&& other) noexcept;
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    pid_t pid() const { return m_pid; }
    // How it ended, as in waitpid's status, waiting at most wait for it to end; nothing while
    // it runs. It is reaped then, and holds no process any more.
    std::optional<int> endedStatus(std::chrono::milliseconds wait);
    // Kills it unless it has ended, and leaves it to be reaped later.
    void end();

private:
    pid_t m_pid = 0;
    // Readable once the process has ended; -1 where the kernel has no pidfd_open.
    protocol::UniqueDescriptor m_ended;
};

// Reaps the ended helpers left unreaped where no event loop could watch them; never waits.
// They are tried again on their own while the application runs; how many are left.
std::size_t reapLeftProcesses();

// What a waitpid status says, for the log: "status 3", "signal 9".
QString describeEnd(int status);

} // namespace kavelora::picture
