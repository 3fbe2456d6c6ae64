// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/helper/helper_process.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <memory>
#include <mutex>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace kavelora::picture {

namespace {

Q_LOGGING_CATEGORY(helperProcessLog, "kavelora.decoder")

protocol::UniqueDescriptor openEndedDescriptor(pid_t pid)
{
#if defined(SYS_pidfd_open)
    return protocol::UniqueDescriptor(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
#else
    return protocol::UniqueDescriptor();
#endif
}

// The process's status if it has ended, reaping it; never waits.
std::optional<int> reapIfEnded(pid_t pid)
{
    int status = 0;
    pid_t reaped = -1;
    while ((reaped = ::waitpid(pid, &status, WNOHANG)) < 0 && errno == EINTR) {
    }
    // ECHILD: reaped already, by someone who had no business to; it is gone either way.
    if (reaped == pid || (reaped < 0 && errno == ECHILD))
        return reaped == pid ? status : 0;
    return std::nullopt;
}

// A helper that ended by a signal of its own crashed, or broke its filter (SIGSYS) on a
// decode it should have been allowed to do: worth a line in the log.
void logIfCrashed(pid_t pid, int status)
{
    if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL)
        qCWarning(helperProcessLog, "the decoder helper %d ended by signal %d",
                  static_cast<int>(pid), WTERMSIG(status));
}

// How often processes left unreaped are tried again while any are left.
constexpr std::chrono::milliseconds kRetryReaping{5000};

// Killed processes not yet reaped where no event loop can tell when they end: tried again
// whenever another is left or started, and on a timer while the application runs. A helper
// started too late is left from another thread.
struct Unreaped
{
    std::mutex mutex;
    std::vector<pid_t> processes;
    bool retryDue = false;
};

Unreaped& unreaped()
{
    static Unreaped waiting;
    return waiting;
}

// Tries those left again after a while, from the application's thread, until none is left.
void retryReapingLater()
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return;
    {
        const std::lock_guard lock(unreaped().mutex);
        if (unreaped().retryDue)
            return;
        unreaped().retryDue = true;
    }
    QMetaObject::invokeMethod(
        application,
        [application] {
            QTimer::singleShot(kRetryReaping, application, [] {
                {
                    const std::lock_guard lock(unreaped().mutex);
                    unreaped().retryDue = false;
                }
                if (reapLeftProcesses() > 0)
                    retryReapingLater();
            });
        },
        Qt::QueuedConnection);
}

void reapLater(pid_t pid, protocol::UniqueDescriptor ended)
{
    reapLeftProcesses();
    if (const std::optional<int> status = reapIfEnded(pid)) {
        logIfCrashed(pid, *status);
        return;
    }
    QCoreApplication* application = QCoreApplication::instance();
    if (!application || !ended.isValid() || QThread::currentThread() != application->thread()) {
        {
            const std::lock_guard lock(unreaped().mutex);
            unreaped().processes.push_back(pid);
        }
        retryReapingLater();
        return;
    }
    auto watch = new QSocketNotifier(ended.get(), QSocketNotifier::Read, application);
    auto owned = std::make_shared<protocol::UniqueDescriptor>(std::move(ended));
    QObject::connect(watch, &QSocketNotifier::activated, watch, [watch, pid, owned] {
        const std::optional<int> status = reapIfEnded(pid);
        if (!status)
            return;
        logIfCrashed(pid, *status);
        watch->setEnabled(false);
        watch->deleteLater();
    });
}

} // namespace

HelperProcess::HelperProcess(pid_t pid)
    : m_pid(pid)
    , m_ended(openEndedDescriptor(pid))
{}

HelperProcess::~HelperProcess()
{
    end();
}

HelperProcess::HelperProcess(HelperProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, 0))
    , m_ended(std::move(other.m_ended))
{}

HelperProcess& HelperProcess::operator=(HelperProcess&& other) noexcept
{
    if (this != &other) {
        end();
        m_pid = std::exchange(other.m_pid, 0);
        m_ended = std::move(other.m_ended);
    }
    return *this;
}

std::optional<int> HelperProcess::endedStatus(std::chrono::milliseconds wait)
{
    if (m_pid <= 0)
        return std::nullopt;
    if (m_ended.isValid() && wait.count() > 0) {
        pollfd ended{m_ended.get(), POLLIN, 0};
        const auto deadline = std::chrono::steady_clock::now() + wait;
        int count = -1;
        do {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            count = ::poll(&ended, 1, static_cast<int>(std::max<qint64>(left.count(), 0)));
        } while (count < 0 && errno == EINTR);
    }
    const std::optional<int> status = reapIfEnded(m_pid);
    if (status) {
        m_pid = 0;
        m_ended.reset();
    }
    return status;
}

void HelperProcess::end()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGKILL);
    reapLater(std::exchange(m_pid, 0), std::move(m_ended));
}

std::size_t reapLeftProcesses()
{
    const std::lock_guard lock(unreaped().mutex);
    std::erase_if(unreaped().processes, [](pid_t waiting) {
        const std::optional<int> status = reapIfEnded(waiting);
        if (status)
            logIfCrashed(waiting, *status);
        return status.has_value();
    });
    return unreaped().processes.size();
}

QString describeEnd(int status)
{
    if (WIFSIGNALED(status))
        return QStringLiteral("signal %1").arg(WTERMSIG(status));
    return QStringLiteral("status %1").arg(WEXITSTATUS(status));
}

} // namespace kavelora::picture
