// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The viewer in a real window and its decoder helper as separate processes: the helper the
// program starts is locked down; a helper that is killed, idle or in the middle of a decode,
// costs the viewer nothing but that one picture; the helper maps the image-format plugins and
// the viewer, which decodes nothing, should not.

#include "e2e_support.h"
#include "helper_process.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <optional>
#include <thread>

using namespace kavelora::e2e;
using kavelora::tests::encoded;
using kavelora::tests::gifFile;

namespace {

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

// Holds the helper still from construction, so that a request sent to it stays unanswered,
// and kills it once a request waits unread in its socket: the viewer loses its helper in the
// middle of a decode however fast the machine would have decoded.
class KillOnceAsked
{
public:
    explicit KillOnceAsked(qint64 helper)
        : m_helper(static_cast<pid_t>(helper))
        , m_stopped(::kill(m_helper, SIGSTOP) == 0 && waitUntilStopped(helper))
        , m_alreadyUnread(unreadSocketBytes(helper))
        , m_watcher([this] {
            using namespace std::chrono;
            const auto deadline = steady_clock::now() + seconds(10);
            while (m_stopped && m_alreadyUnread >= 0 && !m_stop && steady_clock::now() < deadline) {
                if (unreadSocketBytes(m_helper) > m_alreadyUnread) {
                    m_killed = ::kill(m_helper, SIGKILL) == 0;
                    return;
                }
                std::this_thread::sleep_for(milliseconds(10));
            }
        })
    {}
    ~KillOnceAsked()
    {
        m_stop = true;
        m_watcher.join();
        if (!m_killed)
            ::kill(m_helper, SIGCONT);
    }
    KillOnceAsked(const KillOnceAsked&) = delete;
    KillOnceAsked& operator=(const KillOnceAsked&) = delete;

    // Whether the helper stood still with nothing unread when asked to.
    bool stoppedIdle() const { return m_stopped && m_alreadyUnread == 0; }
    bool killed() const { return m_killed; }

private:
    static bool waitUntilStopped(qint64 pid)
    {
        return waitUntil(
            [pid] {
                const std::optional<ProcessState> state = processState(pid);
                return state && state->state == 'T';
            },
            5000, 5);
    }

    pid_t m_helper;
    bool m_stopped;
    qint64 m_alreadyUnread;
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
    void shippedHelperIsLocked();
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
    // The picture a killed helper was asked for: a gradient, unlike anything else opened.
    QImage lost(240, 180, QImage::Format_RGB32);
    for (int y = 0; y < lost.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(lost.scanLine(y));
        for (int x = 0; x < lost.width(); ++x)
            row[x] = qRgb(x & 255, y & 255, (x ^ y) & 255);
    }
    QVERIFY(lost.save(m_fixtures.filePath(QStringLiteral("lost.png"))));

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

void TestEndToEndDecoderHelper::shippedHelperIsLocked()
{
    RunningViewer viewer;
    QVERIFY(viewer.waitForWindow());
    QVERIFY(openThroughDialog(viewer, m_fixtures.filePath(QStringLiteral("green.png"))));
    // A helper runs unlocked from its start to its lock-down, and may be replaced now and then:
    // whichever helper is found must be locked within the bound.
    Confinement seen;
    const bool locked = waitUntil(
        [&] {
            const qint64 helper = helperOf(viewer);
            const std::optional<Confinement> confinement =
                helper != 0 ? confinementOf(helper) : std::nullopt;
            if (!confinement)
                return false;
            seen = *confinement;
            const bool onlyStandardAndSocket =
                std::ranges::all_of(seen.descriptors, [](int descriptor) {
                    return descriptor >= 0 && descriptor <= 3;
                });
            return seen.seccompMode == 2 && seen.noNewPrivileges == 1 && onlyStandardAndSocket;
        },
        10000, 50);
    QVERIFY2(locked, qPrintable(seen.describe()));
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
    const QImage halves = pictureAreaOnce(viewer, [](const QImage& area) {
        return colourNear(area.pixel(2, 248), qRgb(255, 0, 0)) &&
               colourNear(area.pixel(472, 248), qRgb(0, 0, 255));
    });
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
    const QImage green = pictureAreaOnce(
        viewer, [](const QImage& area) { return colourNear(centreOf(area), qRgb(0, 255, 0)); });
    QVERIFY(colourNear(centreOf(green), qRgb(0, 255, 0)));
    qint64 asked = 0;
    QVERIFY(waitUntil([&] { return (asked = helperOf(viewer)) != 0; }, 5000));

    {
        const KillOnceAsked killer(asked);
        QVERIFY2(killer.stoppedIdle(), "the helper could not be held still, or ss is missing");
        QVERIFY(openThroughDialog(viewer, m_fixtures.filePath(QStringLiteral("lost.png"))));
        // The picture loads after the dialog has closed.
        QVERIFY2(waitUntil([&killer] { return killer.killed(); }, 10000),
                 "no request reached the helper");
    }
    // The request failed when the helper went, and only then does another one start.
    QVERIFY(waitUntil([&] { return !QList<qint64>{0, asked}.contains(helperOf(viewer)); }, 5000));
    QVERIFY(viewer.isRunning());
    QVERIFY2(otherWindows(viewer).isEmpty(), "a message appeared for a killed helper");
    QCOMPARE(pictureArea(viewer), green);

    QVERIFY(openThroughDialog(viewer, m_fixtures.filePath(QStringLiteral("halves.png"))));
    const QImage halves = pictureAreaOnce(viewer, [](const QImage& area) {
        return colourNear(area.pixel(2, 248), qRgb(255, 0, 0)) &&
               colourNear(area.pixel(472, 248), qRgb(0, 0, 255));
    });
    QVERIFY(colourNear(halves.pixel(2, 248), qRgb(255, 0, 0)));
    QVERIFY(colourNear(halves.pixel(472, 248), qRgb(0, 0, 255)));
    QVERIFY(helperOf(viewer) != asked);
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
        const QImage area = pictureAreaOnce(viewer, [colour = colour](const QImage& shown) {
            return colourNear(centreOf(shown), colour, 12);
        });
        QVERIFY2(colourNear(centreOf(area), colour, 12), qPrintable(path));
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
