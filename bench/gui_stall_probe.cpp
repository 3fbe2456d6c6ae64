// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
//
// Measures from outside how long a Qt program leaves its window unanswered. It sends the
// window a _NET_WM_PING message (WM_PROTOCOLS) every few milliseconds, each with a timestamp
// of its own. Qt's xcb platform answers a ping on the GUI thread, by sending it back to the
// root window, where the probe listens (StructureNotify): the time from a ping to its answer
// is how long that thread was busy, and so is the longest gap between two answers.
//
//   gui_stall_probe --window ID [--seconds S] [--until-stdin-closes]
//
// Prints "ready" once the window has answered a ping. SIGUSR1 starts the figures afresh (a
// script sends it just before the step it measures). Stops on SIGTERM or SIGINT, at the end
// of its input with --until-stdin-closes, or after S seconds (300 by default), and prints:
//   sent N answered N longest_gap_ms X longest_round_trip_ms Y
// A ping still unanswered at the stop counts up to the stop in both figures. Exits 1 when the
// window goes away or the X connection fails (after printing the figures), 2 on a bad usage.

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kPingInterval{5};

double millisecondsBetween(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

struct Options
{
    xcb_window_t window = XCB_WINDOW_NONE;
    std::chrono::seconds limit{300};
    bool untilStdinCloses = false;
};

std::optional<Options> parseOptions(int argc, char* argv[])
{
    Options options;
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        const bool hasValue = index + 1 < argc;
        if (argument == "--until-stdin-closes") {
            options.untilStdinCloses = true;
        } else if (argument == "--window" && hasValue) {
            options.window = static_cast<xcb_window_t>(std::strtoul(argv[++index], nullptr, 0));
        } else if (argument == "--seconds" && hasValue) {
            options.limit = std::chrono::seconds(std::atoi(argv[++index]));
        } else {
            return std::nullopt;
        }
    }
    if (options.window == XCB_WINDOW_NONE || options.limit.count() <= 0)
        return std::nullopt;
    return options;
}

struct FreeDeleter
{
    void operator()(void* pointer) const { std::free(pointer); }
};
template<typename Reply> using ReplyPointer = std::unique_ptr<Reply, FreeDeleter>;

xcb_atom_t atomNamed(xcb_connection_t* connection, std::string_view name)
{
    const ReplyPointer<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data()),
        nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The pings sent, when each went, and what the answers showed. Answers come in the order of
// the pings: the X server keeps a client's events in order, and Qt answers them as they come.
class PingLog
{
public:
    explicit PingLog(Clock::time_point start)
        : m_lastAnswer(start)
    {}

    // Forgets the figures so far; answers to the pings already sent no longer count.
    void restart(Clock::time_point now)
    {
        m_firstCounted = m_lastAnswered = m_sentAt.size();
        m_answerCount = 0;
        m_lastAnswer = now;
        m_longestGapMs = 0;
        m_longestRoundTripMs = 0;
    }

    // The timestamp the next ping carries.
    std::uint32_t recordSent(Clock::time_point now)
    {
        m_sentAt.push_back(now);
        return static_cast<std::uint32_t>(m_sentAt.size());
    }

    void recordAnswer(std::uint32_t timestamp, Clock::time_point now)
    {
        if (timestamp <= m_lastAnswered || timestamp > m_sentAt.size())
            return;
        m_lastAnswered = timestamp;
        ++m_answerCount;
        if (!m_readyTold) {
            std::printf("ready\n");
            std::fflush(stdout);
            m_readyTold = true;
        }
        m_longestRoundTripMs =
            std::max(m_longestRoundTripMs, millisecondsBetween(m_sentAt[timestamp - 1], now));
        m_longestGapMs = std::max(m_longestGapMs, millisecondsBetween(m_lastAnswer, now));
        m_lastAnswer = now;
    }

    // The figures with the pings still unanswered at stop counted up to it.
    void print(Clock::time_point stop) const
    {
        double longestRoundTripMs = m_longestRoundTripMs;
        if (m_lastAnswered < m_sentAt.size())
            longestRoundTripMs =
                std::max(longestRoundTripMs, millisecondsBetween(m_sentAt[m_lastAnswered], stop));
        const double longestGapMs =
            std::max(m_longestGapMs, millisecondsBetween(m_lastAnswer, stop));
        std::printf("sent %zu answered %zu longest_gap_ms %.1f longest_round_trip_ms %.1f\n",
                    m_sentAt.size() - m_firstCounted, m_answerCount, longestGapMs,
                    longestRoundTripMs);
        std::fflush(stdout);
    }

private:
    std::vector<Clock::time_point> m_sentAt;
    std::size_t m_firstCounted = 0;
    // The timestamp of the last ping answered, 0 for none.
    std::size_t m_lastAnswered = 0;
    std::size_t m_answerCount = 0;
    bool m_readyTold = false;
    Clock::time_point m_lastAnswer;
    double m_longestGapMs = 0;
    double m_longestRoundTripMs = 0;
};

// The window pinged, and what its answers are recognised by.
struct Target
{
    xcb_connection_t* connection;
    xcb_window_t window;
    xcb_window_t root;
    xcb_atom_t protocols;
    xcb_atom_t ping;
};

void sendPing(const Target& target, std::uint32_t timestamp)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = target.window;
    event.type = target.protocols;
    event.data.data32[0] = target.ping;
    event.data.data32[1] = timestamp;
    event.data.data32[2] = target.window;
    // No event mask: the message goes to the client that made the window.
    xcb_send_event(target.connection, 0, target.window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(target.connection);
}

enum class Outcome { Running, Stopped, WindowGone };

// Reads every event already there; an answer is logged, an error or the window's end ends.
Outcome readEvents(const Target& target, PingLog& log)
{
    while (xcb_generic_event_t* raw = xcb_poll_for_event(target.connection)) {
        const ReplyPointer<xcb_generic_event_t> event(raw);
        const auto kind = event->response_type & 0x7f;
        if (kind == 0 || kind == XCB_DESTROY_NOTIFY)
            return Outcome::WindowGone;
        const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(raw);
        if (kind == XCB_CLIENT_MESSAGE && message->window == target.root && message->format == 32 &&
            message->type == target.protocols && message->data.data32[0] == target.ping &&
            message->data.data32[2] == target.window)
            log.recordAnswer(message->data.data32[1], Clock::now());
    }
    return xcb_connection_has_error(target.connection) ? Outcome::WindowGone : Outcome::Running;
}

// Pings until a stop signal, the end of stdin when watched, the deadline, or the window's end.
Outcome pingUntilStopped(const Target& target, const Options& options, int signalDescriptor,
                         PingLog& log)
{
    const Clock::time_point deadline = Clock::now() + options.limit;
    Clock::time_point nextPing = Clock::now();
    std::vector<pollfd> watched{{xcb_get_file_descriptor(target.connection), POLLIN, 0},
                                {signalDescriptor, POLLIN, 0}};
    if (options.untilStdinCloses)
        watched.push_back({STDIN_FILENO, POLLIN, 0});
    Outcome outcome = Outcome::Running;
    while (outcome == Outcome::Running && Clock::now() < deadline) {
        if (Clock::now() >= nextPing) {
            sendPing(target, log.recordSent(Clock::now()));
            // After a pause of the probe itself, no burst of pings to catch up.
            nextPing = std::max(nextPing + kPingInterval, Clock::now());
        }
        outcome = readEvents(target, log);
        const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::max(std::min(nextPing, deadline) - Clock::now(), Clock::duration::zero()));
        const timespec timeout{static_cast<time_t>(wait.count() / 1'000'000'000),
                               static_cast<long>(wait.count() % 1'000'000'000)};
        if (outcome != Outcome::Running ||
            ppoll(watched.data(), watched.size(), &timeout, nullptr) <= 0)
            continue;
        signalfd_siginfo received{};
        if (watched[1].revents != 0 &&
            read(signalDescriptor, &received, sizeof received) == sizeof received) {
            if (received.ssi_signo == SIGUSR1)
                log.restart(Clock::now());
            else
                outcome = Outcome::Stopped;
        }
        char discarded[256];
        if (watched.size() > 2 && watched[2].revents != 0 &&
            read(STDIN_FILENO, discarded, sizeof discarded) <= 0)
            outcome = Outcome::Stopped;
    }
    return outcome;
}

} // namespace

int main(int argc, char* argv[])
{
    const std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr, "usage: gui_stall_probe --window ID [--seconds S]"
                             " [--until-stdin-closes]\n");
        return 2;
    }
    sigset_t handledSignals;
    sigemptyset(&handledSignals);
    sigaddset(&handledSignals, SIGTERM);
    sigaddset(&handledSignals, SIGINT);
    sigaddset(&handledSignals, SIGUSR1);
    sigprocmask(SIG_BLOCK, &handledSignals, nullptr);
    const int signalDescriptor = signalfd(-1, &handledSignals, SFD_CLOEXEC);

    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) || signalDescriptor < 0) {
        std::fprintf(stderr, "gui_stall_probe: no X display\n");
        return 1;
    }
    const xcb_window_t window = options->window;
    const ReplyPointer<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr));
    if (!geometry) {
        std::fprintf(stderr, "gui_stall_probe: no window 0x%x\n", window);
        xcb_disconnect(connection);
        return 1;
    }
    const Target target{connection, window, geometry->root, atomNamed(connection, "WM_PROTOCOLS"),
                        atomNamed(connection, "_NET_WM_PING")};
    const std::uint32_t structureNotify = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, target.root, XCB_CW_EVENT_MASK, &structureNotify);
    xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &structureNotify);

    PingLog log(Clock::now());
    const Outcome outcome = pingUntilStopped(target, *options, signalDescriptor, log);
    log.print(Clock::now());
    xcb_disconnect(connection);
    return outcome == Outcome::WindowGone ? 1 : 0;
}
