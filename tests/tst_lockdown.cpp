// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The locked decoder process: each forbidden call kills it, every format still decodes, and
// its limits and filesystem denial hold. Each locked case runs as this program started again in
// a role, a fresh process like the helper: it has started no thread and loaded no image plugin
// before loadImagePluginsUpFront, and it reports by its exit code or its death.

#include "byte_fields.h"
#include "locked_child.h"
#include "picture/lockdown.h"
#include "picture_fixtures.h"
#include "test_files.h"

#include <QColorSpace>
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <linux/landlock.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <vector>

using namespace kavelora;
using namespace kavelora::tests;
using namespace Qt::StringLiterals;

namespace {

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

// An icon whose one image is stored as PNG, as most large icons are.
QByteArray iconWithPngInside(const QImage& image)
{
    const QByteArray png = encoded(image, "png");
    QByteArray file = le16(0) + le16(1) + le16(1);
    file += QByteArray(1, static_cast<char>(image.width() % 256));
    file += QByteArray(1, static_cast<char>(image.height() % 256));
    file += le16(0) + le16(1) + le16(32) + le32(static_cast<quint32>(png.size())) + le32(22);
    return file + png;
}

// The fixtures by name; made in a child so that this process loads no image plugin.
QStringList fixtureNames()
{
    return {QStringLiteral("png"),       QStringLiteral("16-bit png"), QStringLiteral("p3 png"),
            QStringLiteral("jpeg"),      QStringLiteral("bmp"),        QStringLiteral("gif"),
            QStringLiteral("webp"),      QStringLiteral("tiff"),       QStringLiteral("ico"),
            QStringLiteral("pbm"),       QStringLiteral("pgm"),        QStringLiteral("ppm"),
            QStringLiteral("xbm"),       QStringLiteral("xpm"),        QStringLiteral("tga"),
            QStringLiteral("png in ico")};
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
    if (name == u"png in ico")
        return iconWithPngInside(halves.scaled(256, 192));
    if (name == u"tga")
        return tgaFile(halves);
    return encoded(halves, name.toLatin1().constData());
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

    void decodesPictureReceivedOnSocket()
    {
        int sockets[2];
        QVERIFY(socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) == 0);
        const pid_t child = startLockedChild("receive", {sockets[1]});
        close(sockets[1]);
        const int pictureFile =
            open(QFile::encodeName(m_fixtures.filePath(u"png"_s)).constData(), O_RDONLY);
        QVERIFY(pictureFile >= 0);
        char request = 'p';
        iovec part{&request, 1};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &pictureFile, sizeof pictureFile);
        const bool sent = sendmsg(sockets[0], &message, MSG_NOSIGNAL) == 1;
        close(pictureFile);
        char answer = 0;
        const bool answered = sent && read(sockets[0], &answer, 1) == 1;
        close(sockets[0]);
        QCOMPARE(outcomeOf(child), kSucceeded);
        QVERIFY(sent);
        QVERIFY(answered);
        QCOMPARE(answer, 'd');
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
