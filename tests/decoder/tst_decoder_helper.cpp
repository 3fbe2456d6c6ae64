// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The shipped decoder helper, started as the viewer starts it: it locks itself before it
// serves, and ends when the viewer's end of the socket closes.

#include "process_status.h"
#include "test_files.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kavelora::tests;
using namespace Qt::StringLiterals;

namespace {

constexpr int kHelperSocket = 3;
constexpr int kHelperTimeoutMs = 10000;

// The helper with socket as descriptor 3 and /dev/null as 0, 1 and 2; -1 when it cannot start.
pid_t startHelper(int socket)
{
    const QByteArray path = QFile::encodeName(QStringLiteral(KAVELORA_TEST_DECODER_PATH));
    const pid_t helper = fork();
    if (helper == 0) {
        const int null = open("/dev/null", O_RDWR);
        for (const int standard : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
            dup2(null, standard);
        dup2(socket, kHelperSocket);
        char* const arguments[] = {const_cast<char*>(path.constData()), nullptr};
        execv(arguments[0], arguments);
        _exit(127);
    }
    return helper;
}

} // namespace

class TstDecoderHelper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void locksItselfBeforeServing()
    {
        int sockets[2];
        QVERIFY(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sockets) == 0);
        const pid_t helper = startHelper(sockets[1]);
        close(sockets[1]);
        QVERIFY(helper > 0);
        const QString statusPath = u"/proc/%1/status"_s.arg(helper);
        const bool locked = QTest::qWaitFor(
            [&] { return statusLine(readFile(statusPath), "Seccomp") == u"2"; }, kHelperTimeoutMs);
        const QByteArray status = readFile(statusPath);
        const QStringList descriptors =
            QDir(u"/proc/%1/fd"_s.arg(helper)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
        // The viewer's end going away ends the helper.
        close(sockets[0]);
        int outcome = 0;
        const bool ended = QTest::qWaitFor(
            [&] { return waitpid(helper, &outcome, WNOHANG) == helper; }, kHelperTimeoutMs);
        if (!ended) {
            kill(helper, SIGKILL);
            waitpid(helper, &outcome, 0);
        }
        QVERIFY2(locked, "the helper serves without its system-call filter");
        QCOMPARE(statusLine(status, "NoNewPrivs"), u"1"_s);
        QCOMPARE(statusLine(status, "CapEff"), u"0000000000000000"_s);
        QCOMPARE(descriptors, QStringList({u"0"_s, u"1"_s, u"2"_s, u"3"_s}));
        QVERIFY(ended);
        QVERIFY(WIFEXITED(outcome));
        QCOMPARE(WEXITSTATUS(outcome), 0);
    }
};

QTEST_APPLESS_MAIN(TstDecoderHelper)
#include "tst_decoder_helper.moc"
