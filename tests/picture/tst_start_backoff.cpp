// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// When a decoder helper that cannot start is tried again, and which failures reach the log.

#include "picture/helper/start_backoff.h"

#include <QTest>

using kavelora::picture::StartBackoff;
using std::chrono::milliseconds;

class TestStartBackoff : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void delayDoublesUpToTheLongest_data();
    void delayDoublesUpToTheLongest();
    void pauseFollowsEachFailure();
    void eachReasonLoggedOncePerRun();
    void successEndsTheRun();
};

void TestStartBackoff::delayDoublesUpToTheLongest_data()
{
    QTest::addColumn<int>("failures");
    QTest::addColumn<qint64>("delayMs");
    QTest::newRow("first failure") << 1 << qint64(100);
    QTest::newRow("second failure") << 2 << qint64(200);
    QTest::newRow("fifth failure") << 5 << qint64(1600);
    QTest::newRow("ninth failure, last doubling") << 9 << qint64(25600);
    QTest::newRow("tenth failure, at the longest") << 10 << qint64(30000);
    QTest::newRow("a thousandth failure does not overflow") << 1000 << qint64(30000);
}

void TestStartBackoff::delayDoublesUpToTheLongest()
{
    QFETCH(int, failures);
    QFETCH(qint64, delayMs);
    QCOMPARE(StartBackoff::delayAfter(failures).count(), delayMs);
}

void TestStartBackoff::pauseFollowsEachFailure()
{
    StartBackoff backoff;
    const StartBackoff::Clock::time_point now{};
    QVERIFY(backoff.mayStart(now));
    backoff.failed(now, QStringLiteral("gone"));
    QVERIFY(!backoff.mayStart(now + milliseconds(99)));
    QVERIFY(backoff.mayStart(now + milliseconds(100)));
    const auto second = now + milliseconds(100);
    backoff.failed(second, QStringLiteral("gone"));
    QCOMPARE(backoff.nextStart(), second + milliseconds(200));
    QVERIFY(!backoff.mayStart(second + milliseconds(199)));
    QCOMPARE(backoff.failures(), 2);
}

void TestStartBackoff::eachReasonLoggedOncePerRun()
{
    StartBackoff backoff;
    const StartBackoff::Clock::time_point now{};
    QVERIFY(backoff.failed(now, QStringLiteral("no binary")));
    QVERIFY(!backoff.failed(now, QStringLiteral("no binary")));
    QVERIFY(!backoff.failed(now, QStringLiteral("no binary")));
    QVERIFY(backoff.failed(now, QStringLiteral("cannot lock")));
    QVERIFY(!backoff.failed(now, QStringLiteral("cannot lock")));
}

void TestStartBackoff::successEndsTheRun()
{
    StartBackoff backoff;
    const StartBackoff::Clock::time_point now{};
    for (int failure = 0; failure < 6; ++failure)
        backoff.failed(now, QStringLiteral("gone"));
    backoff.succeeded();
    QVERIFY(backoff.mayStart(now));
    QCOMPARE(backoff.failures(), 0);
    // The same reason again is a new run, and logged again; its pause starts over.
    QVERIFY(backoff.failed(now, QStringLiteral("gone")));
    QCOMPARE(backoff.nextStart(), now + milliseconds(100));
}

QTEST_APPLESS_MAIN(TestStartBackoff)
#include "tst_start_backoff.moc"
