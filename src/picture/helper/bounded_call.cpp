// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/helper/bounded_call.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <deque>
#include <system_error>
#include <thread>

namespace kavelora::picture {

namespace {

// Trivially destructible, so a thread finishing while the program exits may still count down.
std::atomic<int> callsRunning{0};

// Most calls finish in well under this; only slower ones make the GUI thread serve events.
constexpr std::chrono::milliseconds kQuietWait{20};
constexpr std::chrono::milliseconds kCheckInterval{5};

// Calls waiting for the lasting thread beyond this fail at once: it is blocked for good.
constexpr std::size_t kMostQueued = 4;

class LastingThread
{
public:
    // Never destroyed: its thread may be blocked in the kernel when the program ends.
    static LastingThread& instance()
    {
        static auto* lasting = new LastingThread;
        return *lasting;
    }

    bool queue(std::function<void()> work)
    {
        {
            const std::lock_guard lock(m_mutex);
            if (!m_started || m_queued.size() >= kMostQueued)
                return false;
            m_queued.push_back(std::move(work));
        }
        m_arrived.notify_one();
        return true;
    }

private:
    LastingThread()
    {
        try {
            std::thread([this] { serve(); }).detach();
            m_started = true;
        } catch (const std::system_error&) {
        }
    }

    [[noreturn]] void serve()
    {
        for (;;) {
            std::function<void()> work;
            {
                std::unique_lock lock(m_mutex);
                m_arrived.wait(lock, [this] { return !m_queued.empty(); });
                work = std::move(m_queued.front());
                m_queued.pop_front();
            }
            work();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<std::function<void()>> m_queued;
    bool m_started = false;
};

} // namespace

int BoundedCall::running()
{
    return callsRunning.load();
}

// Not counted among the calls that may be left running: a close that waits on a stalled file
// system must not make the next open fail, and there is one per file opened at most.
bool BoundedCall::runWithoutWaiting(std::function<void()> work)
{
    try {
        std::thread(std::move(work)).detach();
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool BoundedCall::start(std::shared_ptr<Completion> completion, std::function<void()> work)
{
    if (callsRunning.fetch_add(1) >= kMaxRunning) {
        --callsRunning;
        return false;
    }
    try {
        std::thread([completion = std::move(completion), work = std::move(work)] {
            work();
            {
                const std::lock_guard lock(completion->mutex);
                completion->done = true;
            }
            completion->finished.notify_all();
            --callsRunning;
        }).detach();
    } catch (const std::system_error&) {
        --callsRunning;
        return false;
    }
    return true;
}

bool BoundedCall::queueOnLastingThread(std::shared_ptr<Completion> completion,
                                       std::function<void()> work)
{
    return LastingThread::instance().queue(
        [completion = std::move(completion), work = std::move(work)] {
            work();
            {
                const std::lock_guard lock(completion->mutex);
                completion->done = true;
            }
            completion->finished.notify_all();
        });
}

bool BoundedCall::waitFor(Completion& completion, std::chrono::milliseconds bound)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    const auto isDone = [&completion] {
        const std::lock_guard lock(completion.mutex);
        return completion.done;
    };
    {
        std::unique_lock lock(completion.mutex);
        const bool quick = completion.finished.wait_until(
            lock, std::min(deadline, std::chrono::steady_clock::now() + kQuietWait),
            [&completion] { return completion.done; });
        if (quick)
            return true;
    }
    QCoreApplication* application = QCoreApplication::instance();
    if (!application || QThread::currentThread() != application->thread()) {
        std::unique_lock lock(completion.mutex);
        return completion.finished.wait_until(lock, deadline,
                                              [&completion] { return completion.done; });
    }
    QEventLoop loop;
    QTimer check;
    check.setInterval(kCheckInterval);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (isDone() || std::chrono::steady_clock::now() >= deadline)
            loop.quit();
    });
    check.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return isDone();
}

} // namespace kavelora::picture
