// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "protocol/socket_wait.h"
#include "protocol/unique_descriptor.h"

#include <QTest>

#include <array>
#include <poll.h>
#include <sys/socket.h>

using namespace kavelora::protocol;
using Clock = std::chrono::steady_clock;

class TestSocketWait : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void timeLeftUntilTheDeadline_data();
    void timeLeftUntilTheDeadline();
    void waitsForWhatTheSocketCanDo_data();
    void waitsForWhatTheSocketCanDo();
};

void TestSocketWait::timeLeftUntilTheDeadline_data()
{
    QTest::addColumn<qint64>("fromNowMs");
    QTest::addColumn<qint64>("leastMs");
    QTest::addColumn<qint64>("mostMs");
    QTest::newRow("passed long ago") << qint64(-3600000) << qint64(0) << qint64(0);
    QTest::newRow("passing now") << qint64(0) << qint64(0) << qint64(0);
    QTest::newRow("an hour ahead") << qint64(3600000) << qint64(3500000) << qint64(3600000);
}

void TestSocketWait::timeLeftUntilTheDeadline()
{
    QFETCH(qint64, fromNowMs);
    QFETCH(qint64, leastMs);
    QFETCH(qint64, mostMs);
    const qint64 left = timeLeft(Clock::now() + std::chrono::milliseconds(fromNowMs)).count();
    QVERIFY2(left >= leastMs && left <= mostMs, qPrintable(QString::number(left)));
}

void TestSocketWait::waitsForWhatTheSocketCanDo_data()
{
    QTest::addColumn<short>("events");
    QTest::addColumn<bool>("peerSends");
    QTest::addColumn<bool>("peerCloses");
    QTest::addColumn<bool>("ready");
    QTest::newRow("nothing to read by a passed deadline")
        << short(POLLIN) << false << false << false;
    QTest::newRow("a message waiting") << short(POLLIN) << true << false << true;
    QTest::newRow("the peer gone") << short(POLLIN) << false << true << true;
    QTest::newRow("room to send") << short(POLLOUT) << false << false << true;
}

// Every wait here has a deadline that has passed already: readiness is told without waiting.
void TestSocketWait::waitsForWhatTheSocketCanDo()
{
    QFETCH(short, events);
    QFETCH(bool, peerSends);
    QFETCH(bool, peerCloses);
    QFETCH(bool, ready);
    std::array<int, 2> pair{};
    QCOMPARE(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair.data()), 0);
    const UniqueDescriptor ours(pair[0]);
    UniqueDescriptor peer(pair[1]);
    if (peerSends)
        QCOMPARE(::send(peer.get(), "x", 1, 0), ssize_t(1));
    if (peerCloses)
        peer.reset();
    QCOMPARE(waitForSocket(ours.get(), events, Clock::now()), ready);
}

QTEST_APPLESS_MAIN(TestSocketWait)
#include "tst_socket_wait.moc"
