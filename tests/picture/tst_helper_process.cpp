// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/helper/helper_process.h"

#include <QFile>
#include <QTest>

#include <thread>
#include <unistd.h>

using kavelora::picture::HelperProcess;

namespace {

bool isInProcessTable(pid_t pid)
{
    return QFile::exists(QStringLiteral("/proc/%1").arg(pid));
}

} // namespace

class TestHelperProcess : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void endedOffTheEventLoopIsReapedLater();
};

// A helper ended from a thread no event loop watches for it is still reaped, without another
// helper having to end first.
void TestHelperProcess::endedOffTheEventLoopIsReapedLater()
{
    // A child killed may be gone by the time end() looks, and reaped at once: tried until one
    // is left to reap later.
    constexpr int kAttempts = 50;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            for (;;)
                ::pause();
        }
        std::thread ending([child] { HelperProcess(child).end(); });
        ending.join();
        if (isInProcessTable(child)) {
            QTRY_VERIFY_WITH_TIMEOUT(!isInProcessTable(child), 15000);
            return;
        }
    }
    QSKIP("every child was reaped the moment it was killed: none was left to reap later");
}

QTEST_GUILESS_MAIN(TestHelperProcess)
#include "tst_helper_process.moc"
