// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QProcess>
#include <QString>

#include <optional>

namespace kavelora::e2e {

// What gui_stall_probe saw: how many pings it sent and the window answered, and the longest
// time the window left them unanswered, in milliseconds.
struct StallFigures
{
    int sent = 0;
    int answered = 0;
    double longestGapMs = 0;
    double longestRoundTripMs = 0;
};

// gui_stall_probe pinging a window of the test's display every 5 ms for as long as the object
// lives, two minutes at most.
class StallProbe
{
public:
    // Starts pinging windowId, an X window id as xdotool gives it.
    StallProbe(const QString& probeProgram, const QString& windowId);
    ~StallProbe();
    StallProbe(const StallProbe&) = delete;
    StallProbe& operator=(const StallProbe&) = delete;

    // True once the window has answered a ping; false after timeoutMs.
    bool waitForReady(int timeoutMs = 5000);
    // Starts the figures afresh: what came before no longer counts.
    void restart();
    // False once the probe has ended, by itself or told to.
    bool isRunning() const;
    // Tells the probe to stop without waiting for it, from any thread; stop() still reads the
    // figures.
    void signalStop();
    // Stops the probe and reads its figures; nullopt when it failed or printed none (the
    // window went away, for one).
    std::optional<StallFigures> stop();

private:
    QProcess m_process;
    qint64 m_processId = 0;
};

} // namespace kavelora::e2e
