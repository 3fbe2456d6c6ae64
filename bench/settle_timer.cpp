// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
//
// Times a program from outside, the way a user sees it: from the moment it is started to
// its first drawing on screen and to the last drawing before the screen goes quiet, watched
// through X DAMAGE events on the root window (polling for a window would add half a second
// of jitter). The program is then ended and its peak resident memory read from wait4(), with
// the peaks of the programs it started (the viewer's decoder helper) added, less the pages
// they share with it (libraries, the shared pixel buffers), which its own peak counts.
//
//   settle_timer [--quiet MS] [--timeout MS] [--then SHELL_COMMAND] -- COMMAND [ARGUMENTS...]
//   settle_timer --no-window -- COMMAND [ARGUMENTS...]
//
// With --then, once the screen has settled, SHELL_COMMAND drives the program (with its process
// id in SETTLE_TIMER_CHILD_PID) and must succeed; the program is ended only when the screen
// has settled again after it.
//
// Prints one line: "first_ms settled_ms peak_rss_kib" (with --no-window: "0 run_ms
// peak_rss_kib", the time until the program ends by itself).

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

struct Options
{
    int quietMs = 500;
    int timeoutMs = 30000;
    bool window = true;
    std::string then;
    std::vector<char*> command;
};

std::optional<Options> parseOptions(int argc, char* argv[])
{
    Options options;
    int index = 1;
    for (; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (argument == "--") {
            ++index;
            break;
        }
        if (argument == "--no-window") {
            options.window = false;
        } else if ((argument == "--quiet" || argument == "--timeout") && index + 1 < argc) {
            (argument == "--quiet" ? options.quietMs : options.timeoutMs) =
                std::atoi(argv[++index]);
        } else if (argument == "--then" && index + 1 < argc) {
            options.then = argv[++index];
        } else {
            return std::nullopt;
        }
    }
    for (; index < argc; ++index)
        options.command.push_back(argv[index]);
    if (options.command.empty() || (!options.window && !options.then.empty()))
        return std::nullopt;
    options.command.push_back(nullptr);
    return options;
}

pid_t launch(const Options& options)
{
    const pid_t child = fork();
    if (child == 0) {
        execvp(options.command[0], options.command.data());
        std::perror("settle_timer: exec");
        _exit(127);
    }
    return child;
}

// Starts the shell command that drives the settled program, in a process group of its own so
// that ending it ends what it started.
pid_t startDriver(const std::string& shellCommand, pid_t program)
{
    setenv("SETTLE_TIMER_CHILD_PID", std::to_string(program).c_str(), 1);
    const pid_t driver = fork();
    if (driver == 0) {
        setpgid(0, 0);
        execl("/bin/sh", "sh", "-c", shellCommand.c_str(), static_cast<char*>(nullptr));
        std::perror("settle_timer: exec /bin/sh");
        _exit(127);
    }
    setpgid(driver, driver);
    return driver;
}

// The sum, in KiB, of the fields starting with one of names in a /proc file of "Name: n kB"
// lines.
long sumOfFields(const std::string& path, std::initializer_list<std::string_view> names)
{
    std::ifstream file(path);
    long total = 0;
    for (std::string line; std::getline(file, line);) {
        for (std::string_view name : names) {
            if (line.rfind(name, 0) == 0)
                total += std::strtol(line.c_str() + name.size(), nullptr, 10);
        }
    }
    return total;
}

// The peak resident sets, in KiB, of the programs child started that are still running, less
// the pages they share.
long childrensPeakKib(pid_t child)
{
    const std::string task = "/proc/" + std::to_string(child) + "/task/" + std::to_string(child);
    std::ifstream children(task + "/children");
    long total = 0;
    for (long grandchild = 0; children >> grandchild;) {
        const std::string folder = "/proc/" + std::to_string(grandchild);
        total += sumOfFields(folder + "/status", {"VmHWM:"}) -
                 sumOfFields(folder + "/smaps_rollup", {"Shared_Clean:", "Shared_Dirty:"});
    }
    return total;
}

// Ends the child if it is still running and returns its peak resident set in KiB, with that
// of the programs it started.
long reap(pid_t child, bool endIt, int* status)
{
    long childrensPeak = 0;
    if (endIt) {
        childrensPeak = childrensPeakKib(child);
        kill(child, SIGTERM);
    }
    rusage usage{};
    if (wait4(child, status, 0, &usage) < 0)
        return -1;
    return usage.ru_maxrss + childrensPeak;
}

int runWithoutWindow(const Options& options)
{
    const Clock::time_point start = Clock::now();
    const pid_t child = launch(options);
    // The program ends by itself and ends its helper first: their peaks are read while they
    // run, every few milliseconds.
    long childrensPeak = 0;
    siginfo_t ended{};
    while (waitid(P_PID, static_cast<id_t>(child), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           ended.si_pid != child) {
        childrensPeak = std::max(childrensPeak, childrensPeakKib(child));
        usleep(2000);
    }
    int status = 0;
    const long peakKib = reap(child, false, &status) + childrensPeak;
    const double runMs = millisecondsSince(start, Clock::now());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "settle_timer: %s failed (status %d)\n", options.command[0], status);
        return 1;
    }
    std::printf("0 %.3f %ld\n", runMs, peakKib);
    return 0;
}

int runWithWindow(const Options& options)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "settle_timer: no X display\n");
        return 1;
    }
    int damageEventBase = 0;
    int damageErrorBase = 0;
    if (!XDamageQueryExtension(display, &damageEventBase, &damageErrorBase)) {
        std::fprintf(stderr, "settle_timer: the X server has no DAMAGE extension\n");
        return 1;
    }
    const Window root = XDefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    // Damage on the root window covers everything drawn on the screen, whichever window.
    const Damage damage = XDamageCreate(display, root, XDamageReportRawRectangles);
    XSync(display, True);

    const Clock::time_point start = Clock::now();
    const pid_t child = launch(options);
    std::optional<Clock::time_point> mapped;
    std::optional<Clock::time_point> firstDamage;
    Clock::time_point lastDamage = start;
    pid_t driver = 0; // 0 while no drive runs
    bool driven = options.then.empty();
    bool childEnded = false;
    std::string failure;
    pollfd connection{XConnectionNumber(display), POLLIN, 0};
    while (true) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            const Clock::time_point now = Clock::now();
            if (event.type == MapNotify && !mapped)
                mapped = now;
            else if (event.type == damageEventBase + XDamageNotify && mapped) {
                if (!firstDamage)
                    firstDamage = now;
                lastDamage = now;
            }
        }
        const Clock::time_point now = Clock::now();
        int driverStatus = 0;
        if (driver && waitpid(driver, &driverStatus, WNOHANG) == driver) {
            driver = 0;
            if (!WIFEXITED(driverStatus) || WEXITSTATUS(driverStatus) != 0) {
                failure = "could not be driven";
                break;
            }
            // The drive may end before the program has drawn what it set off: the quiet
            // counts from its end.
            lastDamage = std::max(lastDamage, now);
        }
        if (!driver && firstDamage && millisecondsSince(lastDamage, now) >= options.quietMs) {
            if (driven)
                break;
            driver = startDriver(options.then, child);
            driven = true;
        }
        if (millisecondsSince(start, now) >= options.timeoutMs) {
            failure = (firstDamage ? "did not settle within " : "drew nothing within ") +
                      std::to_string(options.timeoutMs) + " ms";
            break;
        }
        siginfo_t ended{};
        if (waitid(P_PID, static_cast<id_t>(child), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            ended.si_pid == child) {
            failure = "ended before settling";
            childEnded = true;
            break;
        }
        poll(&connection, 1, 20);
    }
    XDamageDestroy(display, damage);
    XCloseDisplay(display);
    if (driver) {
        kill(-driver, SIGTERM);
        waitpid(driver, nullptr, 0);
    }
    int status = 0;
    const long peakKib = reap(child, !childEnded, &status);
    if (!failure.empty()) {
        std::fprintf(stderr, "settle_timer: %s %s\n", options.command[0], failure.c_str());
        return 1;
    }
    std::printf("%.3f %.3f %ld\n", millisecondsSince(start, *firstDamage),
                millisecondsSince(start, lastDamage), peakKib);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    const std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: settle_timer [--quiet MS] [--timeout MS] [--then SHELL_COMMAND | "
                     "--no-window] -- COMMAND [ARGUMENTS...]\n");
        return 2;
    }
    return options->window ? runWithWindow(*options) : runWithoutWindow(*options);
}
