// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The locked decoder process: each forbidden call kills it, every format still decodes, and
// its limits and filesystem denial hold. Each locked case runs as this program started again in
// a role, a fresh process like the helper: it has started no thread and loaded no image plugin
// before loadImagePluginsUpFront, and it reports by its exit code or its death.

#include "byte_fields.h"
#include "picture/load_up_front.h"
#include "picture/lockdown.h"
#include "picture/picture_decoder.h"
#include "picture_fixtures.h"
#include "test_files.h"

#include <QColorSpace>
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <fcntl.h>
#include <linux/landlock.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <latch>
#include <vector>

using namespace kavelora;
using namespace kavelora::tests;
using namespace Qt::StringLiterals;

namespace {

enum class ForbiddenCall {
    Open,
    OpenAt,
    Socket,
    Execve,
    Fork,
    Ptrace,
    MapExecutable,
    ProtectExecutable,
    MemoryFile,
    Kill,
    WriteToDescriptorNotKept,
};

enum class AllowedWork {
    PoolThreads,
    ParallelConversion,
    Warning,
    NormalExit,
};

// Exit codes of the children.
enum ChildResult : int {
    Succeeded = 0,
    LockFailed = 10,
    DecodeRaised,
    WrongSize,
    WrongPixels,
    KeptDescriptorFailed,
    ForbiddenCallReturned,
    Opened,
    WorkFailed,
};

constexpr QSize kPictureSize(640, 480);
constexpr QRgb kLeft = qRgb(0, 0, 0);
constexpr QRgb kRight = qRgb(255, 255, 255);
constexpr int kCpuSeconds = 60;

#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 kAddressSpaceBytes = 0;
#else
constexpr qint64 kAddressSpaceBytes = 2LL * 1024 * 1024 * 1024;
#endif

constexpr picture::LockdownLimits kLimits{kAddressSpaceBytes, kCpuSeconds};

constexpr char kRoleSwitch[] = "--locked-child";

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

bool lockDownWith(std::span<const int> kept)
{
    picture::loadImagePluginsUpFront();
    return picture::lockDown(kept, kLimits);
}

// A 24-bit uncompressed TGA stored top row first, which Qt reads but does not write.
QByteArray tgaFile(const QImage& image)
{
    QByteArray file(18, '\0');
    file[2] = 2;
    put16le(file, 12, static_cast<quint32>(image.width()));
    put16le(file, 14, static_cast<quint32>(image.height()));
    file[16] = 24;
    file[17] = 0x20;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb colour = image.pixel(x, y);
            file.append(static_cast<char>(qBlue(colour)));
            file.append(static_cast<char>(qGreen(colour)));
            file.append(static_cast<char>(qRed(colour)));
        }
    }
    // No extension or developer area, and the signature that makes it a TGA 2.0 file.
    file.append(QByteArray(8, '\0'));
    file.append("TRUEVISION-XFILE.", 18);
    return file;
}

// The fixtures by name; made in a child so that this process loads no image plugin.
QStringList fixtureNames()
{
    return {QStringLiteral("png"),  QStringLiteral("16-bit png"), QStringLiteral("p3 png"),
            QStringLiteral("jpeg"), QStringLiteral("bmp"),        QStringLiteral("gif"),
            QStringLiteral("webp"), QStringLiteral("tiff"),       QStringLiteral("ico"),
            QStringLiteral("pbm"),  QStringLiteral("pgm"),        QStringLiteral("ppm"),
            QStringLiteral("xbm"),  QStringLiteral("xpm"),        QStringLiteral("tga")};
}

QByteArray makeFixture(const QString& name)
{
    const QImage halves = twoHalves(kPictureSize, kLeft, kRight);
    if (name == u"16-bit png")
        return encoded(halves.convertToFormat(QImage::Format_RGBA64), "png");
    if (name == u"p3 png") {
        QImage wideGamut = halves;
        wideGamut.setColorSpace(QColorSpace::DisplayP3);
        return encoded(wideGamut, "png");
    }
    if (name == u"gif") {
        QByteArray indices;
        for (int y = 0; y < kPictureSize.height(); ++y) {
            indices.append(QByteArray(kPictureSize.width() / 2, '\0'));
            indices.append(QByteArray(kPictureSize.width() / 2, '\1'));
        }
        return gifFile(kPictureSize, {kLeft, kRight}, {indices});
    }
    if (name == u"ico")
        return encoded(halves.scaled(256, 192), "ico");
    if (name == u"tga")
        return tgaFile(halves);
    return encoded(halves, name.toLatin1().constData());
}

// Reads the picture from the kept descriptor pictureFile after the lock, decodes it and tells
// how it came out; writes one byte to report to show that a kept descriptor stays writable.
int decodeLocked(int pictureFile, int report, bool throughDecoder)
{
    const int kept[] = {pictureFile, report};
    if (!lockDownWith(kept))
        return LockFailed;
    QByteArray bytes;
    char block[65536];
    for (ssize_t got; (got = read(pictureFile, block, sizeof block)) > 0;)
        bytes.append(block, got);
    QImage image;
    try {
        image = throughDecoder ? picture::decodePicture(bytes, 96.0, QSize(800, 600)).screenImage()
                               : QImage::fromData(bytes, "tga");
    } catch (...) {
        return DecodeRaised;
    }
    const int width = image.width();
    if (width == 0 ||
        image.width() * kPictureSize.height() != image.height() * kPictureSize.width())
        return WrongSize;
    const int middle = image.height() / 2;
    if (!colourNear(image.pixel(width / 4, middle), kLeft, 8) ||
        !colourNear(image.pixel(width * 3 / 4, middle), kRight, 8))
        return WrongPixels;
    return write(report, "d", 1) == 1 ? Succeeded : KeptDescriptorFailed;
}

int tryForbiddenCall(ForbiddenCall call, int notKept)
{
    static const char kFile[] = "/etc/passwd";
    const pid_t ownId = getpid();
    if (!lockDownWith({}))
        return LockFailed;
    switch (call) {
    case ForbiddenCall::Open:
        syscall(SYS_open, kFile, O_RDONLY);
        break;
    case ForbiddenCall::OpenAt:
        openat(AT_FDCWD, kFile, O_RDONLY);
        break;
    case ForbiddenCall::Socket:
        socket(AF_UNIX, SOCK_STREAM, 0);
        break;
    case ForbiddenCall::Execve: {
        char* const arguments[] = {const_cast<char*>("/bin/true"), nullptr};
        execve("/bin/true", arguments, environ);
        break;
    }
    case ForbiddenCall::Fork:
        if (fork() == 0)
            _exit(Succeeded);
        break;
    case ForbiddenCall::Ptrace:
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        break;
    case ForbiddenCall::MapExecutable:
        mmap(nullptr, 4096, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        break;
    case ForbiddenCall::ProtectExecutable: {
        void* page = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        mprotect(page, 4096, PROT_READ | PROT_EXEC);
        break;
    }
    case ForbiddenCall::MemoryFile:
        syscall(SYS_memfd_create, "pixels", 0);
        break;
    case ForbiddenCall::Kill:
        kill(ownId, 0);
        break;
    case ForbiddenCall::WriteToDescriptorNotKept: {
        [[maybe_unused]] const ssize_t written = write(notKept, "x", 1);
        break;
    }
    }
    return ForbiddenCallReturned;
}

// Whether two pool threads ran at once.
bool poolThreadsMeet()
{
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    std::latch bothRunning(2);
    std::atomic<int> met = 0;
    for (int task = 0; task < 2; ++task) {
        pool.start([&] {
            bothRunning.arrive_and_wait();
            ++met;
        });
    }
    pool.waitForDone();
    return met == 2;
}

// Qt converts a picture this large on its global pool, in parallel bands.
bool convertsInParallel()
{
    const QImage wide = twoHalves(QSize(2048, 1024), kLeft, kRight);
    const QImage deep = wide.convertToFormat(QImage::Format_RGBA64);
    return colourNear(deep.pixel(100, 500), kLeft) && colourNear(deep.pixel(2000, 500), kRight);
}

int doLocked(AllowedWork work)
{
    if (!lockDownWith({}))
        return LockFailed;
    switch (work) {
    case AllowedWork::PoolThreads:
        return poolThreadsMeet() ? Succeeded : WorkFailed;
    case AllowedWork::ParallelConversion:
        return convertsInParallel() ? Succeeded : WorkFailed;
    case AllowedWork::Warning:
        qWarning("a warning from a locked process");
        qInfo() << "and one through a stream" << kPictureSize;
        return Succeeded;
    case AllowedWork::NormalExit:
        // Runs every exit handler and static destructor, as the helper's return from main does.
        std::exit(Succeeded);
    }
    return WorkFailed;
}

// Tells through report whether stray was closed, then waits for a byte on release, so that
// the parent can read the locked process's limits.
int waitLocked(int release, int report, int stray)
{
    const int kept[] = {release, report};
    if (!lockDownWith(kept))
        return LockFailed;
    const bool strayClosed = lseek(stray, 0, SEEK_CUR) < 0 && errno == EBADF;
    if (write(report, strayClosed ? "c" : "o", 1) != 1)
        return KeptDescriptorFailed;
    char go = 0;
    return read(release, &go, 1) == 1 ? Succeeded : KeptDescriptorFailed;
}

int runLockedChild(const char* role, const QList<int>& numbers)
{
    const auto number = [&](qsizetype index) { return numbers.value(index, -1); };
    if (qstrcmp(role, "forbidden") == 0)
        return tryForbiddenCall(static_cast<ForbiddenCall>(number(0)), number(1));
    if (qstrcmp(role, "allowed") == 0)
        return doLocked(static_cast<AllowedWork>(number(0)));
    if (qstrcmp(role, "decode") == 0)
        return decodeLocked(number(0), number(1), number(2) != 0);
    if (qstrcmp(role, "wait") == 0)
        return waitLocked(number(0), number(1), number(2));
    return WorkFailed;
}

QString limitLine(const QByteArray& limits, const char* name)
{
    const QRegularExpression line(QStringLiteral("^%1 +(\\S+) +(\\S+)").arg(QLatin1String(name)),
                                  QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = line.match(QString::fromLatin1(limits));
    return match.hasMatch() ? match.captured(1) + u' ' + match.captured(2) : QString();
}

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
    }

    void decodesEveryFormatLocked()
    {
        QFETCH(QString, fixture);
        QFETCH(bool, throughDecoder);
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

    // The limits as the kernel shows them while the locked child waits to be let go.
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
    }

    void landlockDeniesOpeningFiles()
    {
        if (syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION) < 1)
            QSKIP("this kernel offers no Landlock");
        const QString path = m_fixtures.filePath(u"png"_s);
        const QString outcome = outcomeOf([&] {
            const int openedBefore = open(QFile::encodeName(path).constData(), O_RDONLY);
            if (!picture::denyFilesystemAccess())
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
