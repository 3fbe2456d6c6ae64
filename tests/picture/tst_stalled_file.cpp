// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// A picture on a file system that stalls, as a hung network mount does: opening it through
// the viewer's own path ends in the time-out error, never as an invalid picture, the GUI
// thread's timers keep running while the file system says nothing, and a decoder helper stuck
// in the file system does not hold the viewer up.

#include "future_result.h"
#include "picture/helper/helper_decoding.h"
#include "picture/load_picture.h"
#include "platform/runtime_error.h"
#include "test_files.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

using namespace kavelora;
using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

constexpr long kFuseSuperMagic = 0x65735546;

QByteArray greenPng()
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::green);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

bool isFuseMount(const QString& folder)
{
    struct statfs status = {};
    return ::statfs(QFile::encodeName(folder).constData(), &status) == 0 &&
           status.f_type == kFuseSuperMagic;
}

// The children of this process the kernel holds in uninterruptible sleep.
int childrenInUninterruptibleSleep()
{
    int stuck = 0;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[0] == "D" && fields[1].toLongLong() == ::getpid())
            ++stuck;
    }
    return stuck;
}

} // namespace

class TestStalledFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void stallEndsInTimeOut_data();
    void stallEndsInTimeOut();

private:
    QTemporaryDir m_folder;
    QString m_source;
    QProcess m_fileSystem;
};

void TestStalledFile::initTestCase()
{
    if (!QFileInfo::exists(QStringLiteral("/dev/fuse")))
        QSKIP("no /dev/fuse: this kernel or container offers no FUSE");
    QVERIFY(m_folder.isValid());
    m_source = m_folder.filePath(QStringLiteral("green.png"));
    QVERIFY(tests::writeFile(m_source, greenPng()));
}

void TestStalledFile::cleanup()
{
    // Killing the daemon aborts what waits on it, the helper's read among them.
    if (m_fileSystem.state() != QProcess::NotRunning) {
        m_fileSystem.kill();
        m_fileSystem.waitForFinished(5000);
    }
    QProcess::execute(QStringLiteral("fusermount3"), {QStringLiteral("-u"), QStringLiteral("-z"),
                                                      m_folder.filePath(QStringLiteral("mount"))});
}

void TestStalledFile::stallEndsInTimeOut_data()
{
    QTest::addColumn<QString>("stall");
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("timersRun");
    QTest::newRow("served at once") << QStringLiteral("none") << 0 << false;
    QTest::newRow("open never answered")
        << QStringLiteral("open") << int(ErrorNumber::DeviceTimeout) << true;
    // The helper reads the file; the viewer waits for the helper at most its time limit.
    QTest::newRow("read never answered")
        << QStringLiteral("read") << int(ErrorNumber::DeviceTimeout) << false;
}

void TestStalledFile::stallEndsInTimeOut()
{
    QFETCH(QString, stall);
    QFETCH(int, error);
    QFETCH(bool, timersRun);
    const QString mount = m_folder.filePath(QStringLiteral("mount"));
    QVERIFY(QDir().mkpath(mount));
    m_fileSystem.start(QStringLiteral(KAVELORA_STALLING_FILE_SYSTEM), {mount, m_source, stall});
    QVERIFY(m_fileSystem.waitForStarted());
    if (!QTest::qWaitFor(
            [&] { return isFuseMount(mount) || m_fileSystem.state() == QProcess::NotRunning; },
            10000) ||
        !isFuseMount(mount))
        QSKIP(qPrintable(QStringLiteral("cannot mount a FUSE file system here: %1")
                             .arg(QString::fromLocal8Bit(m_fileSystem.readAllStandardError()))));

    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start(20);
    QElapsedTimer elapsed;
    elapsed.start();
    int raised = 0;
    try {
        const picture::Picture loaded = kavelora::tests::resultOf(
            picture::LoadPicture(std::make_shared<picture::HelperDecoding>(),
                                 QDir(mount).filePath(QStringLiteral("picture")), QSize(16, 16)));
        QCOMPARE(loaded.screenImage().pixel(8, 8), QColor(Qt::green).rgb());
    } catch (const RuntimeError& raisedError) {
        raised = raisedError.number();
    }
    qInfo("%s ended after %lld ms with error %d; the GUI thread's 20 ms timer fired %d times; "
          "%d helpers left stuck in the file system",
          qPrintable(stall), elapsed.elapsed(), raised, ticks, childrenInUninterruptibleSleep());
    QCOMPARE(raised, error);
    if (timersRun)
        QVERIFY(ticks >= 2);
}

QTEST_MAIN(TestStalledFile)
#include "tst_stalled_file.moc"
