// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// Calls that may block for ever, waited for at most a bound: the GUI thread's timers keep
// running meanwhile, a call left behind finishes safely on its own, and only a few may be
// left behind at once.

#include "picture/helper/bounded_call.h"

#include <QCoreApplication>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <future>
#include <thread>
#include <unistd.h>

using kavelora::picture::BoundedCall;
using std::chrono::milliseconds;

namespace {

// A read end that gives nothing until its write end is closed: a stalled read at will.
class Stall
{
public:
    Stall()
    {
        int ends[2] = {-1, -1};
        if (::pipe(ends) == 0) {
            m_read = ends[0];
            m_write = ends[1];
        }
    }
    ~Stall()
    {
        release();
        ::close(m_read);
    }
    Stall(const Stall&) = delete;
    Stall& operator=(const Stall&) = delete;

    bool isValid() const { return m_read >= 0; }
    // Blocks until released; a call that must not touch the Stall once it returns reads a
    // duplicate of its descriptor.
    int duplicate() const { return ::dup(m_read); }
    void release()
    {
        if (m_write >= 0)
            ::close(m_write);
        m_write = -1;
    }

private:
    int m_read = -1;
    int m_write = -1;
};

// A call reading fromDescriptor, which it owns, until end of file.
std::function<int()> readUntilEnd(int descriptor)
{
    auto owned = std::make_shared<int>(descriptor);
    return [owned] {
        char byte = 0;
        const auto count = ::read(*owned, &byte, 1);
        ::close(*owned);
        return static_cast<int>(count);
    };
}

bool waitForRunning(int count)
{
    return QTest::qWaitFor([count] { return BoundedCall::running() == count; }, 5000);
}

} // namespace

class TestBoundedCall : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void quickCallGivesItsResult();
    void stalledCallTimesOutWhileTimersRun();
    void callLeftBehindFinishesSafely();
    void onlyAFewLeftBehind();
    void closesLeftRunningDoNotCount();
    void lastingThreadTakesEveryCallInTurn();
};

void TestBoundedCall::quickCallGivesItsResult()
{
    const std::optional<int> result = BoundedCall::run<int>([] { return 42; }, milliseconds(5000));
    QCOMPARE(result, std::optional(42));
}

void TestBoundedCall::stalledCallTimesOutWhileTimersRun()
{
    Stall stall;
    QVERIFY(stall.isValid());
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start(10);
    const std::optional<int> result =
        BoundedCall::run<int>(readUntilEnd(stall.duplicate()), milliseconds(500));
    QVERIFY(!result);
    // A GUI thread that blocked would have seen none.
    qInfo("the timer fired %d times during a 500 ms wait", ticks);
    QVERIFY(ticks >= 2);
    stall.release();
    QVERIFY(waitForRunning(0));
}

void TestBoundedCall::callLeftBehindFinishesSafely()
{
    auto stall = std::make_unique<Stall>();
    auto finished = std::make_shared<std::promise<void>>();
    std::future<void> done = finished->get_future();
    std::function<int()> read = readUntilEnd(stall->duplicate());
    QVERIFY(!BoundedCall::run<int>(
        [read, finished] {
            const int count = read();
            finished->set_value();
            return count;
        },
        milliseconds(50)));
    // Its caller is long gone when it finishes; under AddressSanitizer any touch of what the
    // caller owned would show.
    stall.reset();
    QCOMPARE(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    QVERIFY(waitForRunning(0));
}

void TestBoundedCall::onlyAFewLeftBehind()
{
    Stall stall;
    for (int call = 0; call < BoundedCall::kMaxRunning; ++call)
        QVERIFY(!BoundedCall::run<int>(readUntilEnd(stall.duplicate()), milliseconds(20)));
    QCOMPARE(BoundedCall::running(), BoundedCall::kMaxRunning);
    // One more fails at once, even though it would have finished in time.
    QVERIFY(!BoundedCall::run<int>([] { return 1; }, milliseconds(5000)));
    stall.release();
    QVERIFY(waitForRunning(0));
    QCOMPARE(BoundedCall::run<int>([] { return 1; }, milliseconds(5000)), std::optional(1));
}

// Closing files a stalled file system holds up must not make the next open fail: work run
// without waiting is not one of the few calls that may be left behind.
void TestBoundedCall::closesLeftRunningDoNotCount()
{
    // A call of an earlier test counts itself out just after its caller has its result.
    QVERIFY(waitForRunning(0));
    Stall stall;
    QVERIFY(stall.isValid());
    for (int close = 0; close <= BoundedCall::kMaxRunning; ++close)
        QVERIFY(
            BoundedCall::runWithoutWaiting([read = readUntilEnd(stall.duplicate())] { read(); }));
    QCOMPARE(BoundedCall::running(), 0);
    QCOMPARE(BoundedCall::run<int>([] { return 1; }, milliseconds(5000)), std::optional(1));
    stall.release();
}

void TestBoundedCall::lastingThreadTakesEveryCallInTurn()
{
    // A helper started with a parent-death signal dies with the thread that started it: every
    // start runs on the same thread, which outlives the calls.
    const auto thread = [] { return std::this_thread::get_id(); };
    const auto first = BoundedCall::runOnLastingThread<std::thread::id>(thread, milliseconds(5000));
    QVERIFY(first);
    QVERIFY(*first != std::this_thread::get_id());
    QCOMPARE(BoundedCall::runOnLastingThread<std::thread::id>(thread, milliseconds(5000)), first);

    // Blocked, it fails the calls queued behind at their bound, and runs them once free.
    Stall stall;
    QVERIFY(stall.isValid());
    QVERIFY(
        !BoundedCall::runOnLastingThread<int>(readUntilEnd(stall.duplicate()), milliseconds(100)));
    auto ranLate = std::make_shared<std::atomic<bool>>(false);
    QVERIFY(!BoundedCall::runOnLastingThread<int>(
        [ranLate] {
            *ranLate = true;
            return 0;
        },
        milliseconds(100)));
    QVERIFY(!*ranLate);
    stall.release();
    QTRY_VERIFY(ranLate->load());
    QCOMPARE(BoundedCall::runOnLastingThread<std::thread::id>(thread, milliseconds(5000)), first);
}

QTEST_GUILESS_MAIN(TestBoundedCall)
#include "tst_bounded_call.moc"
