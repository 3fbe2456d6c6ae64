// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "stall_probe.h"

#include "wait_until.h"

#include <QRegularExpression>

#include <csignal>

namespace kavelora::e2e {

StallProbe::StallProbe(const QString& probeProgram, const QString& windowId)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(probeProgram, {QStringLiteral("--window"), windowId,
                                   QStringLiteral("--seconds"), QStringLiteral("120")});
    if (m_process.waitForStarted(5000))
        m_processId = m_process.processId();
}

StallProbe::~StallProbe()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

bool StallProbe::waitForReady(int timeoutMs)
{
    // The first line it prints is "ready"; the figures come only when it stops.
    return tests::waitUntil(
        [this] { return m_process.canReadLine() && m_process.readLine().trimmed() == "ready"; },
        timeoutMs, 5);
}

void StallProbe::restart()
{
    if (m_processId > 0)
        ::kill(static_cast<pid_t>(m_processId), SIGUSR1);
}

bool StallProbe::isRunning() const
{
    return m_process.state() != QProcess::NotRunning;
}

void StallProbe::signalStop()
{
    if (m_processId > 0)
        ::kill(static_cast<pid_t>(m_processId), SIGTERM);
}

std::optional<StallFigures> StallProbe::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            return std::nullopt;
    }
    if (m_process.exitStatus() != QProcess::NormalExit || m_process.exitCode() != 0)
        return std::nullopt;
    static const QRegularExpression figuresLine(
        QStringLiteral("^sent (\\d+) answered (\\d+) longest_gap_ms ([\\d.]+) "
                       "longest_round_trip_ms ([\\d.]+)$"),
        QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match =
        figuresLine.match(QString::fromUtf8(m_process.readAllStandardOutput()));
    if (!match.hasMatch())
        return std::nullopt;
    return StallFigures{match.captured(1).toInt(), match.captured(2).toInt(),
                        match.captured(3).toDouble(), match.captured(4).toDouble()};
}

} // namespace kavelora::e2e
