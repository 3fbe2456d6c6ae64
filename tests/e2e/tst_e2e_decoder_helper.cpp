// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The viewer in a real window and its decoder helper as separate processes: a helper that is
// killed, idle or in the middle of a decode, costs the viewer nothing but that one picture;
// the helper maps the image-format plugins and the viewer, which decodes nothing, should not.

#include "e2e_support.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <optional>
#include <csignal>
#include <thread>

using namespace kavelora::e2e;
using kavelora::tests::encoded;
using kavelora::tests::gifFile;

namespace {

struct ProcessState
{
    qint64 parent = 0;
    char state = '?';
    QByteArray name;
    qint64 cpuTicks = 0;
};

// What /proc/<pid>/stat tells, or nothing for a process that is gone.
std::optional<ProcessState> processState(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray stat = file.readAll();
    // The name sits in parentheses and may hold spaces and parentheses itself.
    const qsizetype open = stat.indexOf('('), close = stat.lastIndexOf(')');
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    if (open < 0 || close < open || fields.size() < 13)
        return std::nullopt;
    return ProcessState{fields[1].toLongLong(), fields[0].at(0),
                        stat.mid(open + 1, close - open - 1),
                        fields[11].toLongLong() + fields[12].toLongLong()};
}

// The children of parent: from /proc/<pid>/task/*/children where the kernel keeps that list,
// else from every process's parent.
QList<qint64> childProcesses(qint64 parent)
{
    QList<qint64> children;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(parent));
    bool listed = false;
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile list(tasks.filePath(task + QStringLiteral("/children")));
        if (!list.open(QIODevice::ReadOnly))
            continue;
        listed = true;
        for (const QByteArray& pid : list.readAll().split(' ')) {
            if (!pid.trimmed().isEmpty())
                children.append(pid.trimmed().toLongLong());
        }
    }
    if (listed)
        return children;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isNumber = false;
        const qint64 pid = entry.toLongLong(&isNumber);
        if (!isNumber)
            continue;
        const std::optional<ProcessState> state = processState(pid);
        if (state && state->parent == parent)
            children.append(pid);
    }
    return children;
}

// The viewer's live decoder helper, or 0. A killed helper not yet reaped does not count.
qint64 helperOf(const RunningViewer& viewer)
{
    for (const qint64 child : childProcesses(viewer.processId())) {
        const std::optional<ProcessState> state = processState(child);
        // The kernel keeps the first 15 bytes of the name.
        if (state && state->state != 'Z' && state->name.startsWith("kavelora-decod"))
            return child;
    }
    return 0;
}

// The image-format plugins the process has mapped, one path each.
QStringList mappedImageFormatPlugins(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    QStringList plugins;
    if (!maps.open(QIODevice::ReadOnly))
        return {QStringLiteral("(maps unreadable)")};
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const qsizetype at = line.indexOf('/');
        const QString path = at < 0 ? QString() : QString::fromUtf8(line.mid(at));
        if (path.contains(QStringLiteral("/imageformats/")) && !plugins.contains(path))
            plugins.append(path);
    }
    return plugins;
}

QRgb centreOf(const QImage& image)
{
    return image.pixel(image.width() / 2, image.height() / 2);
}

// Kills the helper once its processor time starts rising, that is once it is decoding.
class KillWhenBusy
{
public:
    explicit KillWhenBusy(qint64 helper)
        : m_watcher([this, helper] {
            const std::optional<ProcessState> idle = processState(helper);
            while (idle && !m_stop) {
                const std::optional<ProcessState> now = processState(helper);
                if (!now)
                    return;
                if (now->cpuTicks > idle->cpuTicks) {
                    m_killed = ::kill(static_cast<pid_t>(helper), SIGKILL) == 0;
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        })
    {}
    ~KillWhenBusy()
    {
        m_stop = true;
        m_watcher.join();
    }
    KillWhenBusy(const KillWhenBusy&) = delete;
    KillWhenBusy& operator=(const KillWhenBusy&) = delete;

    bool killed() const { return m_killed; }

private:
    std::atomic<bool> m_stop = false;
    std::atomic<bool> m_killed = false;
    std::thread m_watcher;
};

} // namespace

class TestEndToEndDecoderHelper : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void helperKilledWhileIdleIsReplaced();
    void helperKilledDuringDecodeCostsOnlyThatPicture();
    void everyFormatOpensWithoutPluginsInTheViewer();

private:
    QTemporaryDir m_fixtures;
    std::unique_ptr<WindowManager> m_windowManager;
    // Each accepted format's file, with the colour the picture shows.
    QList<std::pair<QString, QRgb>> m_everyFormat;
};

void TestEndToEndDecoderHelper::initTestCase()
{
    QVERIFY(m_fixtures.isValid());
    QVERIFY(writeGoodPictures(m_fixtures.path()));
    // A gradient compressed at the fastest level: quick to write, yet its decode keeps the
    // helper busy for long enough to be caught at it.
    QImage slow(7000, 7000, QImage::Format_RGB32);
    for (int y = 0; y < slow.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(slow.scanLine(y));
        for (int x = 0; x < slow.width(); ++x)
            row[x] = qRgb(x & 255, y & 255, (x ^ y) & 255);
    }
    QFile slowFile(m_fixtures.filePath(QStringLiteral("slow.png")));
    QVERIFY(slowFile.open(QIODevice::WriteOnly));
    QVERIFY(slowFile.write(encoded(slow, "png", 80)) > 0);

    // Neighbours differ in colour, so that each open is seen to change the picture.
    const QList<std::pair<const char*, QRgb>> colours = {
        {"bmp", qRgb(200, 30, 30)},   {"ico", qRgb(30, 200, 30)},  {"cur", qRgb(30, 30, 200)},
        {"gif", qRgb(220, 220, 0)},   {"jpeg", qRgb(200, 0, 200)}, {"png", qRgb(0, 200, 200)},
        {"webp", qRgb(250, 140, 0)},  {"tiff", qRgb(120, 0, 160)}, {"pbm", qRgb(0, 0, 0)},
        {"pgm", qRgb(128, 128, 128)}, {"ppm", qRgb(220, 40, 40)},  {"xbm", qRgb(0, 0, 0)},
        {"xpm", qRgb(40, 220, 40)}};
    QRgb previous = qRgb(0, 255, 0); // green.png, opened first
    for (const auto& [format, colour] : colours) {
        QImage image(16, 16, QImage::Format_RGB32);
        image.fill(colour);
        QByteArray bytes;
        if (qstrcmp(format, "gif") == 0) {
            bytes = gifFile(image.size(), {colour}, {QByteArray(16 * 16, '\0')});
        } else if (qstrcmp(format, "cur") == 0) {
            // A cursor is an icon file with type 2 and a hot spot where an icon has planes.
            bytes = encoded(image, "ico");
            QVERIFY(bytes.size() > 4);
            bytes[2] = '\2';
        } else {
            bytes = encoded(image, format);
        }
        QVERIFY2(!bytes.isEmpty(), format);
        const QString path = m_fixtures.filePath(QStringLiteral("every.") + QLatin1String(format));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        const QImage shown = QImage::fromData(bytes, format);
        QVERIFY2(!shown.isNull(), format);
        QVERIFY2(!colourNear(centreOf(shown), previous, 40), format);
        previous = centreOf(shown);
        m_everyFormat.append({path, previous});
    }
}

void TestEndToEndDecoderHelper::init()
{
    // Gives the dialog keyboard focus, as a desktop would.
    m_windowManager = std::make_unique<WindowManager>();
    QVERIFY(m_windowManager->isRunning());
}

void TestEndToEndDecoderHelper::cleanup()
{
    m_windowManager.reset();
}

void TestEndToEndDecoderHelper::helperKilledWhileIdleIsReplaced()
{
    RunningViewer viewer;
    QVERIFY(viewer.waitForWindow());
    QVERIFY(openThroughDialog(viewer, m_fixtures.filePath(QStringLiteral("green.png"))));
    qint64 killed = 0;
    QVERIFY(waitUntil([&] { return (killed = helperOf(viewer)) != 0; }, 5000));
    QCOMPARE(::kill(static_cast<pid_t>(killed), SIGKILL), 0);

    // The viewer notices an idle helper's end and starts another before it is asked.
    qint64 fresh = 0;
    QVERIFY(waitUntil([&] { return (fresh = helperOf(viewer)) != 0 && fresh != killed; }, 5000));
    QVERIFY(viewer.isRunning());
    QVERIFY(openThroughDialog(viewer, m_fixtures.filePath(QStringLiteral("halves.png"))));
    const QImage halves = pictureArea(viewer);
    QVERIFY(colourNear(halves.pixel(2, 248), qRgb(255, 0, 0)));
    QVERIFY(colourNear(halves.pixel(472, 248), qRgb(0, 0, 255)));
    QCOMPARE(helperOf(viewer), fresh);
    QVERIFY2(otherWindows(viewer).isEmpty(), "a message appeared");
}

void TestEndToEndDecoderHelper::helperKilledDuringDecodeCostsOnlyThatPicture()
{
    RunningViewer viewer;
    QVERIFY(viewer.waitForWindow());
    QVERIFY(openThroughDialog(viewer, m_fixtures.filePath(QStringLiteral("green.png"))));
    const QImage green = pictureArea(viewer);
    QVERIFY(colourNear(centreOf(green), qRgb(0, 255, 0)));
    qint64 busy = 0;
    QVERIFY(waitUntil([&] { return (busy = helperOf(viewer)) != 0; }, 5000));

    {
        const KillWhenBusy killer(busy);
        QVERIFY(openThroughDialog(viewer, m_fixtures.filePath(QStringLiteral("slow.png"))));
        QVERIFY2(killer.killed(), "the helper was not caught decoding");
    }
    QVERIFY(viewer.isRunning());
    QVERIFY2(otherWindows(viewer).isEmpty(), "a message appeared for a killed helper");
    QCOMPARE(pictureArea(viewer), green);

    QVERIFY(openThroughDialog(viewer, m_fixtures.filePath(QStringLiteral("halves.png"))));
    const QImage halves = pictureArea(viewer);
    QVERIFY(colourNear(halves.pixel(2, 248), qRgb(255, 0, 0)));
    QVERIFY(colourNear(halves.pixel(472, 248), qRgb(0, 0, 255)));
    QVERIFY(helperOf(viewer) != busy);
}

void TestEndToEndDecoderHelper::everyFormatOpensWithoutPluginsInTheViewer()
{
    RunningViewer viewer;
    QVERIFY(viewer.waitForWindow());
    const QStringList atStart = mappedImageFormatPlugins(viewer.processId());
    QVERIFY2(atStart.isEmpty(), qPrintable(atStart.join(u' ')));
    QVERIFY(openThroughDialog(viewer, m_fixtures.filePath(QStringLiteral("green.png"))));
    for (const auto& [path, colour] : std::as_const(m_everyFormat)) {
        QVERIFY2(openThroughDialog(viewer, path), qPrintable(path));
        QVERIFY2(colourNear(centreOf(pictureArea(viewer)), colour, 12), qPrintable(path));
    }
    QVERIFY(viewer.isRunning());
    const QStringList inViewer = mappedImageFormatPlugins(viewer.processId());
    QVERIFY2(inViewer.isEmpty(), qPrintable(inViewer.join(u' ')));
    const qint64 helper = helperOf(viewer);
    QVERIFY(helper != 0);
    // The control: the plugins do exist and the helper, which decodes, has them mapped.
    const QStringList inHelper = mappedImageFormatPlugins(helper);
    QVERIFY(!inHelper.isEmpty() && !inHelper.contains(QStringLiteral("(maps unreadable)")));
}

KAVELORA_E2E_MAIN(TestEndToEndDecoderHelper)
#include "tst_e2e_decoder_helper.moc"
