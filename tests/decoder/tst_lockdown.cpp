// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The locked decoder process: each forbidden call kills it, every format still decodes, and
// its limits and filesystem denial hold. Each locked case runs as this program started again in
// a role, a fresh process like the helper: it has started no thread and loaded no image plugin
// before loadImagePluginsUpFront, and it reports by its exit code or its death.

#include "decoder/lockdown.h"
#include "descriptor_message.h"
#include "heif_samples.h"
#include "locked_child.h"
#include "locked_fixtures.h"
#include "process_status.h"
#include "test_files.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <linux/landlock.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <vector>

using namespace kavelora;
using namespace kavelora::tests;
using namespace Qt::StringLiterals;

namespace {

// A HEIF grid the tests' writer makes, decoded locked beside the encoders' pictures.
const QString kHeifGrid = u"heif grid"_s;

// This program started again, locking itself and playing role with numbers (descriptors it
// inherits and row values).
pid_t startLockedChild(const char* role, std::initializer_list<int> numbers)
{
    QList<QByteArray> arguments{QFile::encodeName(QCoreApplication::applicationFilePath()),
                                kRoleSwitch, role};
    for (const int number : numbers)
        arguments.append(QByteArray::number(number));
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

// How the child ended, as "exit N" or "signal N".
QString outcomeOf(pid_t child)
{
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return u"not started"_s;
    return WIFEXITED(status) ? u"exit %1"_s.arg(WEXITSTATUS(status))
                             : u"signal %1"_s.arg(WTERMSIG(status));
}

// How a forked child running body ended.
QString outcomeOf(const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(body());
    return outcomeOf(child);
}

const QString kSucceeded = u"exit 0"_s;
const QString kKilledBySystemCallFilter = u"signal %1"_s.arg(SIGSYS);

// Every wait on a child is bounded.
constexpr int kChildTimeoutMs = 10000;

} // namespace

Q_DECLARE_METATYPE(ForbiddenCall)
Q_DECLARE_METATYPE(AllowedWork)

class TstLockdown : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_fixtures.isValid());
        const QString written = outcomeOf([this] {
            for (const QString& name : fixtureNames()) {
                const QByteArray bytes = makeFixture(name);
                if (bytes.isEmpty() || !writeFile(m_fixtures.filePath(name), bytes))
                    return 1;
            }
            return 0;
        });
        QCOMPARE(written, kSucceeded);
        // The same picture as a grid, whose tiles decode on threads of the reader's own.
        const QImage picture(m_fixtures.filePath(u"png"_s), "png");
        QVERIFY(!picture.isNull());
        QVERIFY(writeFile(m_fixtures.filePath(kHeifGrid),
                          writeHeif(gridOfTiles(picture, QSize(256, 256)))));
        // The encoders tell formats by their files' extensions.
        const QString png = m_fixtures.filePath(u"encoder input.png"_s);
        QVERIFY(QFile::copy(m_fixtures.filePath(u"png"_s), png));
        for (const LibraryFixture& fixture : kLibraryFixtures) {
            if (QStandardPaths::findExecutable(fixture.tool).isEmpty())
                continue;
            QStringList arguments = fixture.options;
            const QString output = m_fixtures.filePath(fixture.name + u'.' + fixture.name);
            // cjxl takes the input first, the others after -o and the output.
            arguments << (fixture.tool == u"cjxl" ? png : output)
                      << (fixture.tool == u"cjxl" ? output : png);
            QProcess encoder;
            encoder.start(fixture.tool, arguments);
            QVERIFY(encoder.waitForFinished(120000));
            QVERIFY2(encoder.exitCode() == 0, encoder.readAllStandardError().constData());
            QVERIFY(QFile::rename(output, m_fixtures.filePath(fixture.name)));
        }
    }

    void killsForbiddenCalls_data()
    {
        QTest::addColumn<ForbiddenCall>("call");
        QTest::newRow("open") << ForbiddenCall::Open;
        QTest::newRow("openat") << ForbiddenCall::OpenAt;
        QTest::newRow("socket") << ForbiddenCall::Socket;
        QTest::newRow("execve") << ForbiddenCall::Execve;
        QTest::newRow("fork") << ForbiddenCall::Fork;
        QTest::newRow("ptrace") << ForbiddenCall::Ptrace;
        QTest::newRow("mmap executable") << ForbiddenCall::MapExecutable;
        QTest::newRow("mprotect executable") << ForbiddenCall::ProtectExecutable;
        QTest::newRow("memfd_create") << ForbiddenCall::MemoryFile;
        QTest::newRow("kill") << ForbiddenCall::Kill;
        QTest::newRow("write to a descriptor not kept") << ForbiddenCall::WriteToDescriptorNotKept;
        QTest::newRow("clone of a thread in a new network namespace")
            << ForbiddenCall::CloneWithOtherFlags;
        QTest::newRow("madvise with advice no allocator gives") << ForbiddenCall::AdviceNotGiven;
        QTest::newRow("futex requeue") << ForbiddenCall::FutexRequeue;
        QTest::newRow("mmap shared anonymous memory") << ForbiddenCall::SharedAnonymousMap;
        QTest::newRow("sendmsg, which can carry descriptors, on a kept descriptor")
            << ForbiddenCall::SendMessageOnKeptDescriptor;
        QTest::newRow("sendto an address on a kept descriptor") << ForbiddenCall::SendToAnAddress;
    }

    void killsForbiddenCalls()
    {
        QFETCH(ForbiddenCall, call);
#if defined(__SANITIZE_ADDRESS__)
        if (call == ForbiddenCall::WriteToDescriptorNotKept)
            QSKIP("sanitizer builds allow every write: the vptr check writes to a pipe");
#endif
        int notKept[2];
        QVERIFY(pipe(notKept) == 0);
        const QString outcome = outcomeOf(startLockedChild("forbidden", {int(call), notKept[1]}));
        close(notKept[0]);
        close(notKept[1]);
        QCOMPARE(outcome, kKilledBySystemCallFilter);
    }

    void allowsWhatDecodingNeeds_data()
    {
        QTest::addColumn<AllowedWork>("work");
        QTest::newRow("pool threads start") << AllowedWork::PoolThreads;
        QTest::newRow("parallel conversion") << AllowedWork::ParallelConversion;
        QTest::newRow("warning") << AllowedWork::Warning;
        QTest::newRow("normal exit") << AllowedWork::NormalExit;
        QTest::newRow("raw clone3 answered with ENOSYS") << AllowedWork::ProcessByClone3;
    }

    void allowsWhatDecodingNeeds()
    {
        QFETCH(AllowedWork, work);
        QCOMPARE(outcomeOf(startLockedChild("allowed", {int(work)})), kSucceeded);
    }

    void decodesEveryFormatLocked_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<bool>("throughDecoder");
        for (const QString& name : fixtureNames())
            QTest::newRow(qPrintable(name)) << name << (name != u"tga");
        for (const LibraryFixture& fixture : kLibraryFixtures)
            QTest::newRow(qPrintable(fixture.name)) << fixture.name << true;
        QTest::newRow("heif grid") << kHeifGrid << true;
    }

    void decodesEveryFormatLocked()
    {
        QFETCH(QString, fixture);
        QFETCH(bool, throughDecoder);
        if (!QFile::exists(m_fixtures.filePath(fixture)))
            QSKIP("the encoder is missing (test.sh installs it)");
        const int pictureFile =
            open(QFile::encodeName(m_fixtures.filePath(fixture)).constData(), O_RDONLY);
        QVERIFY(pictureFile >= 0);
        int report[2];
        QVERIFY(pipe(report) == 0);
        const QString outcome =
            outcomeOf(startLockedChild("decode", {pictureFile, report[1], int(throughDecoder)}));
        close(pictureFile);
        close(report[1]);
        char written = 0;
        const bool reported = read(report[0], &written, 1) == 1 && written == 'd';
        close(report[0]);
        QCOMPARE(outcome, kSucceeded);
        QVERIFY(reported);
    }

    void decodesPictureReceivedOnSocket()
    {
        int sockets[2];
        QVERIFY(socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) == 0);
        const pid_t child = startLockedChild("receive", {sockets[1]});
        close(sockets[1]);
        const int pictureFile =
            open(QFile::encodeName(m_fixtures.filePath(u"png"_s)).constData(), O_RDONLY);
        QVERIFY(pictureFile >= 0);
        const bool sent = sendWithDescriptor(sockets[0], 'p', pictureFile);
        close(pictureFile);
        char answer = 0;
        const bool answered = sent && read(sockets[0], &answer, 1) == 1;
        close(sockets[0]);
        QCOMPARE(outcomeOf(child), kSucceeded);
        QVERIFY(sent);
        QVERIFY(answered);
        QCOMPARE(answer, 'd');
    }

    // Ctrl-Z and fg, or a cgroup freezer: a pool thread's timed wait resumes through
    // restart_syscall.
    void survivesStopAndContinue()
    {
        const int pictureFile =
            open(QFile::encodeName(m_fixtures.filePath(u"16-bit png"_s)).constData(), O_RDONLY);
        QVERIFY(pictureFile >= 0);
        int report[2];
        int release[2];
        // A socket, so that telling a child the filter killed fails without SIGPIPE.
        QVERIFY(pipe(report) == 0 && socketpair(AF_UNIX, SOCK_STREAM, 0, release) == 0);
        const pid_t child = startLockedChild("stop", {pictureFile, report[1], release[0]});
        for (const int descriptor : {pictureFile, report[1], release[0]})
            close(descriptor);
        char state = 0;
        const bool ready = read(report[0], &state, 1) == 1 && state == 'r';
        const bool waiting =
            ready &&
            QTest::qWaitFor([&] { return threadWaitsIn(child, SYS_futex); }, kChildTimeoutMs);
        kill(child, SIGSTOP);
        const bool stopped =
            QTest::qWaitFor([&] { return processState(child) == 'T'; }, kChildTimeoutMs);
        kill(child, SIGCONT);
        // Back in its wait through restart_syscall, or killed on the way: the outcome tells.
        [[maybe_unused]] const bool settled = QTest::qWaitFor(
            [&] {
                const char now = processState(child);
                return now == 'Z' || now == '\0' ||
                       (now != 'T' && threadWaitsIn(child, SYS_restart_syscall));
            },
            kChildTimeoutMs);
        const bool released = send(release[1], "g", 1, MSG_NOSIGNAL) == 1;
        close(release[1]);
        const bool decodedAgain = released && read(report[0], &state, 1) == 1 && state == 'd';
        close(report[0]);
        QCOMPARE(outcomeOf(child), kSucceeded);
        QVERIFY(ready);
        QVERIFY2(waiting, "no pool thread waited");
        QVERIFY(stopped);
        QVERIFY(decodedAgain);
    }

    // A helper whose viewer ends, even mid-decode, ends too; one whose viewer had already
    // gone does not lock and serve.
    void diesWithItsParent()
    {
        int release[2];
        int report[2];
        int stray[2];
        int childId[2];
        QVERIFY(pipe(release) == 0 && pipe(report) == 0 && pipe(stray) == 0 && pipe(childId) == 0);
        // The orphaned locked child comes to this process, which can then wait for it.
        QVERIFY(prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0);
        const pid_t parent = fork();
        if (parent == 0) {
            const pid_t locked = startLockedChild("wait", {release[0], report[1], stray[1]});
            char strayState = 0;
            // Ends once the child is locked.
            const bool sent = write(childId[1], &locked, sizeof locked) == sizeof locked &&
                              read(report[0], &strayState, 1) == 1;
            _exit(sent ? Succeeded : WorkFailed);
        }
        for (const int descriptor : {release[0], report[1], stray[0], stray[1], childId[1]})
            close(descriptor);
        pid_t locked = -1;
        const bool gotChild = read(childId[0], &locked, sizeof locked) == sizeof locked;
        close(childId[0]);
        const QString parentOutcome = outcomeOf(parent);
        int status = 0;
        const bool ended =
            gotChild &&
            QTest::qWaitFor([&] { return waitpid(locked, &status, WNOHANG) > 0; }, kChildTimeoutMs);
        close(release[1]);
        close(report[0]);
        if (gotChild && !ended)
            waitpid(locked, &status, 0);
        prctl(PR_SET_CHILD_SUBREAPER, 0, 0, 0, 0);
        QCOMPARE(parentOutcome, kSucceeded);
        QVERIFY(gotChild);
        QVERIFY2(ended, "the locked child outlived its parent");
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(WTERMSIG(status), SIGKILL);

        const QString lockedForAnother = outcomeOf([] {
            decoder::LockdownLimits limits;
            // This process's own id is never its parent's.
            limits.expectedParent = getpid();
            return decoder::lockDown({}, limits) ? int(WorkFailed) : int(Succeeded);
        });
        QCOMPARE(lockedForAnother, kSucceeded);
    }

    // The limits and privileges as the kernel shows them while the locked child waits to be
    // let go.
    void setsLimitsAndClosesOtherDescriptors()
    {
        int release[2];
        int report[2];
        int stray[2];
        QVERIFY(pipe(release) == 0 && pipe(report) == 0 && pipe(stray) == 0);
        const pid_t child = startLockedChild("wait", {release[0], report[1], stray[1]});
        QVERIFY(child > 0);
        for (const int descriptor : {release[0], report[1], stray[0], stray[1]})
            close(descriptor);
        char strayState = 0;
        QVERIFY(read(report[0], &strayState, 1) == 1);
        const QByteArray limits = readFile(u"/proc/%1/limits"_s.arg(child));
        const QByteArray status = readFile(u"/proc/%1/status"_s.arg(child));
        QVERIFY(write(release[1], "g", 1) == 1);
        close(release[1]);
        close(report[0]);
        QCOMPARE(outcomeOf(child), kSucceeded);
        QCOMPARE(strayState, 'c');
        QCOMPARE(limitLine(limits, "Max file size"), u"0 0"_s);
        QCOMPARE(limitLine(limits, "Max core file size"), u"0 0"_s);
        QCOMPARE(limitLine(limits, "Max cpu time"),
                 u"%1 %2"_s.arg(kCpuSeconds).arg(kCpuSeconds + 1));
        QCOMPARE(limitLine(limits, "Max open files"), u"16 16"_s);
        const QString addressSpace = kAddressSpaceBytes > 0
                                         ? u"%1 %1"_s.arg(kAddressSpaceBytes)
                                         : limitLine(limits, "Max address space");
        QCOMPARE(limitLine(limits, "Max address space"), addressSpace);
        QCOMPARE(statusLine(status, "NoNewPrivs"), u"1"_s);
        QCOMPARE(statusLine(status, "Seccomp"), u"2"_s);
        const QString noCapability = u"0000000000000000"_s;
        for (const char* set : {"CapInh", "CapPrm", "CapEff", "CapAmb"})
            QCOMPARE(statusLine(status, set), noCapability);
        // Only a process holding CAP_SETPCAP, as root does, can empty its bounding set.
        if (geteuid() == 0)
            QCOMPARE(statusLine(status, "CapBnd"), noCapability);
    }

    void landlockDeniesOpeningFiles()
    {
        if (syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION) < 1)
            QSKIP("this kernel offers no Landlock");
        const QString path = m_fixtures.filePath(u"png"_s);
        const QString outcome = outcomeOf([&] {
            const int openedBefore = open(QFile::encodeName(path).constData(), O_RDONLY);
            if (!decoder::denyFilesystemAccess())
                return int(LockFailed);
            char byte = 0;
            if (read(openedBefore, &byte, 1) != 1)
                return int(KeptDescriptorFailed);
            const int opened = open(QFile::encodeName(path).constData(), O_RDONLY);
            return opened < 0 && errno == EACCES ? int(Succeeded) : int(Opened);
        });
        QCOMPARE(outcome, kSucceeded);
    }

private:
    QTemporaryDir m_fixtures;
};

namespace {
bool isLockedChild = false;
} // namespace

#if defined(__SANITIZE_ADDRESS__)
// A locked child cannot run the leak check at exit: it stops the process with ptrace.
extern "C" int __lsan_is_turned_off()
{
    return isLockedChild ? 1 : 0;
}
#endif

int main(int argc, char** argv)
{
    if (argc >= 3 && qstrcmp(argv[1], kRoleSwitch) == 0) {
        isLockedChild = true;
        QList<int> numbers;
        for (int index = 3; index < argc; ++index)
            numbers.append(QByteArray(argv[index]).toInt());
        _exit(runLockedChild(argv[2], numbers));
    }
    QCoreApplication application(argc, argv);
    TstLockdown test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_lockdown.moc"
