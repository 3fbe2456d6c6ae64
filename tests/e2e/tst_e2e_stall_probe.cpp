// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// gui_stall_probe against a window of the test's own, whose GUI thread the test holds for a
// known time: the probe must see at least that long a stall, count a ping still unanswered
// at its stop, forget what came before a restart, and fail when its window goes away.

#include "e2e_support.h"
#include "stall_probe.h"

#include <QElapsedTimer>
#include <QThread>
#include <QWindow>

#include <chrono>
#include <thread>

namespace kavelora::e2e {

class TestE2eStallProbe : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void seesTheGuiThreadHeld_data();
    void seesTheGuiThreadHeld();
    void forgetsWhatCameBeforeARestart();
    void failsWhenItsWindowGoes();

private:
    std::unique_ptr<QWindow> m_window;
    QString windowId() const { return QString::number(m_window->winId()); }
};

void TestE2eStallProbe::init()
{
    m_window = std::make_unique<QWindow>();
    m_window->setGeometry(0, 0, 64, 64);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestE2eStallProbe::seesTheGuiThreadHeld_data()
{
    QTest::addColumn<int>("heldMs");
    // When the probe is stopped, counted from the start of the hold; -1 for after it.
    QTest::addColumn<int>("stopAfterMs");
    QTest::newRow("a short hold") << 200 << -1;
    QTest::newRow("a hold of seconds") << 1500 << -1;
    QTest::newRow("stopped during the hold, its pings unanswered") << 1000 << 500;
}

void TestE2eStallProbe::seesTheGuiThreadHeld()
{
    QFETCH(int, heldMs);
    QFETCH(int, stopAfterMs);
    StallProbe probe(QStringLiteral(KAVELORA_GUI_STALL_PROBE), windowId());
    QVERIFY2(probe.waitForReady(), "the window answered no ping");
    QTest::qWait(100);
    // The GUI thread is held here on purpose: that is what the probe must see.
    std::thread stopper;
    if (stopAfterMs >= 0)
        stopper = std::thread([&probe, stopAfterMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(stopAfterMs));
            probe.signalStop();
        });
    QThread::msleep(static_cast<unsigned long>(heldMs));
    if (stopper.joinable())
        stopper.join();
    QTest::qWait(100);
    const std::optional<StallFigures> figures = probe.stop();
    QVERIFY2(figures, "the probe gave no figures");
    const int seenMs = stopAfterMs >= 0 ? stopAfterMs : heldMs;
    QVERIFY2(figures->longestGapMs >= seenMs, qPrintable(QString::number(figures->longestGapMs)));
    // A ping sent at most one interval (5 ms) before the hold waited through it.
    QVERIFY2(figures->longestRoundTripMs >= seenMs - 5,
             qPrintable(QString::number(figures->longestRoundTripMs)));
    QVERIFY(figures->answered > 0);
    // A ping every 5 ms for the half second before the stop: about a hundred unanswered.
    if (stopAfterMs >= 0)
        QVERIFY2(figures->sent - figures->answered >= 10,
                 qPrintable(QStringLiteral("%1 of %2").arg(figures->answered).arg(figures->sent)));
}

void TestE2eStallProbe::forgetsWhatCameBeforeARestart()
{
    StallProbe probe(QStringLiteral(KAVELORA_GUI_STALL_PROBE), windowId());
    QVERIFY2(probe.waitForReady(), "the window answered no ping");
    QThread::msleep(1000);
    QTest::qWait(50);
    QElapsedTimer sinceRestart;
    sinceRestart.start();
    probe.restart();
    QTest::qWait(200);
    const std::optional<StallFigures> figures = probe.stop();
    const auto restartedMs = static_cast<double>(sinceRestart.elapsed());
    QVERIFY2(figures, "the probe gave no figures");
    QVERIFY2(figures->longestGapMs <= restartedMs,
             qPrintable(QStringLiteral("%1 ms, %2 ms since the restart")
                            .arg(figures->longestGapMs)
                            .arg(restartedMs)));
    QVERIFY(figures->answered > 0);
}

void TestE2eStallProbe::failsWhenItsWindowGoes()
{
    StallProbe probe(QStringLiteral(KAVELORA_GUI_STALL_PROBE), windowId());
    QVERIFY2(probe.waitForReady(), "the window answered no ping");
    m_window.reset();
    QVERIFY(waitUntil([&probe] { return !probe.isRunning(); }, 5000));
    QVERIFY(!probe.stop());
}

} // namespace kavelora::e2e

KAVELORA_E2E_MAIN(kavelora::e2e::TestE2eStallProbe)

#include "tst_e2e_stall_probe.moc"
