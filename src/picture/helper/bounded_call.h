// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace kavelora::picture {

// Runs a call that may block in the kernel for ever (an open or a read on a stalled file
// system) on a thread of its own, and waits for it at most a bound; on the GUI thread, its
// timers and paint events run meanwhile, its clicks and keys do not. A call still running at
// the bound is left to finish on its own: it owns everything it touches, and what it returns
// then is dropped. Only a few may be left running at once; past that, calls fail at once.
class BoundedCall
{
public:
    // The calls that may be left running past their bound at once.
    static constexpr int kMaxRunning = 4;

    // What call returned, or nothing when it did not finish within bound.
    template<typename Result>
    static std::optional<Result> run(std::function<Result()> call, std::chrono::milliseconds bound)
    {
        auto completion = std::make_shared<Completion>();
        auto result = std::make_shared<std::optional<Result>>();
        if (!start(completion, [result, call = std::move(call)] { *result = call(); }) ||
            !waitFor(*completion, bound))
            return std::nullopt;
        return std::move(*result);
    }

    // As run, on one thread that lasts as long as the program, taking its calls in turn: for
    // a call whose effects are tied to the thread that made it, as a child started with a
    // parent-death signal is killed when that thread ends. A call queued behind one still
    // blocked fails at the bound and runs, its result dropped, when its turn comes.
    template<typename Result>
    static std::optional<Result> runOnLastingThread(std::function<Result()> call,
                                                    std::chrono::milliseconds bound)
    {
        auto completion = std::make_shared<Completion>();
        auto result = std::make_shared<std::optional<Result>>();
        if (!queueOnLastingThread(completion,
                                  [result, call = std::move(call)] { *result = call(); }) ||
            !waitFor(*completion, bound))
            return std::nullopt;
        return std::move(*result);
    }

    // Runs work on a thread of its own without waiting for it, however many run already, and
    // not counted in running(): for work that only ends what another call began, as closing
    // what an open gave.
    static bool runWithoutWaiting(std::function<void()> work);

    // Calls started and not finished yet.
    static int running();

private:
    struct Completion
    {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
    };

    static bool start(std::shared_ptr<Completion> completion, std::function<void()> work);
    static bool queueOnLastingThread(std::shared_ptr<Completion> completion,
                                     std::function<void()> work);
    static bool waitFor(Completion& completion, std::chrono::milliseconds bound);
};

} // namespace kavelora::picture
