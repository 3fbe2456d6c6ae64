// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "e2e_support.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <algorithm>

namespace kavelora::e2e {

QString runTool(const QString& program, const QStringList& arguments, int timeoutMs)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(timeoutMs)) {
        tool.kill();
        tool.waitForFinished(1000);
        return {};
    }
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

RunningViewer::RunningViewer(const QStringList& arguments, double screenScale)
    : m_screenScale(screenScale)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    start(QStringLiteral(KAVELORA_EXECUTABLE), arguments, {});
}

RunningViewer::RunningViewer(const QString& executable, const QStringList& arguments,
                             const QStringList& environment)
    : m_screenScale(1.0)
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    start(executable, arguments, environment);
}

QString RunningViewer::standardError()
{
    m_process.waitForReadyRead(0);
    m_errors += QString::fromUtf8(m_process.readAllStandardError());
    return m_errors;
}

void RunningViewer::start(const QString& executable, const QStringList& arguments,
                          const QStringList& added)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                       m_home.path() + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.path() + QStringLiteral("/.cache"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::number(m_screenScale));
    environment.remove(QStringLiteral("SESSION_MANAGER"));
    for (const QString& variable : added)
        environment.insert(variable.section(QLatin1Char('='), 0, 0),
                           variable.section(QLatin1Char('='), 1));
    m_process.setProcessEnvironment(environment);
    m_process.start(executable, arguments);
}

RunningViewer::~RunningViewer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

bool RunningViewer::waitForWindow(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const QString pid = QString::number(m_process.processId());
    const auto mapped = [&] {
        const QStringList ids =
            runTool(QStringLiteral("xdotool"),
                    {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--name"), QStringLiteral("^Kavelora Ver1\\.0$")})
                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString& id : ids) {
            if (runTool(QStringLiteral("xdotool"), {QStringLiteral("getwindowpid"), id}) == pid) {
                m_windowId = id;
                return true;
            }
        }
        return m_process.state() == QProcess::NotRunning;
    };
    if (!waitUntil(mapped, static_cast<int>(deadline.remainingTime()), 50) ||
        m_windowId.isEmpty()) {
        reportNoWindow(QStringLiteral("no window of the viewer was mapped"));
        return false;
    }
    // Mapped is not yet drawn: a click before the first paint may find no button.
    const QPoint face = toDevicePixels(kOpenButton.topLeft() + QPoint(6, kOpenButton.height() / 2));
    QRgb seen = 0;
    const bool drawn = waitUntil(
        [&] {
            seen = grabScreen(QRect(clientGeometry().topLeft() + face, QSize(1, 1))).pixel(0, 0);
            return seen == kButtonFace;
        },
        static_cast<int>(deadline.remainingTime()), 50);
    if (!drawn)
        reportNoWindow(QStringLiteral("window %1 at %2 shows #%3 where the open button's face is")
                           .arg(m_windowId)
                           .arg(QDebug::toString(clientGeometry()))
                           .arg(seen & 0xFFFFFF, 6, 16, QLatin1Char('0')));
    return drawn;
}

// Why a wait for the window failed, with what the viewer said, for the test's log.
void RunningViewer::reportNoWindow(const QString& what)
{
    const bool running = m_process.state() != QProcess::NotRunning;
    const QString state = running ? QStringLiteral("still running")
                                  : QStringLiteral("ended with status %1 (%2)")
                                        .arg(m_process.exitCode())
                                        .arg(m_process.exitStatus() == QProcess::CrashExit
                                                 ? QStringLiteral("crashed")
                                                 : QStringLiteral("exited"));
    const QString visible = runTool(QStringLiteral("xdotool"),
                                    {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                     QStringLiteral("--name"), QStringLiteral(".")})
                                .replace(QLatin1Char('\n'), QLatin1Char(' '));
    qWarning("%s; the viewer is %s; windows shown: %s; its standard error: %s",
             qUtf8Printable(what), qUtf8Printable(state), qUtf8Printable(visible),
             qUtf8Printable(standardError()));
}

QRect RunningViewer::clientGeometry() const
{
    const QString info = runTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), m_windowId});
    const auto field = [&info](const char* name) {
        const QRegularExpression pattern(QLatin1String(name) + QStringLiteral(":\\s+(-?\\d+)"));
        return pattern.match(info).captured(1).toInt();
    };
    return QRect(field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
                 field("Height"));
}

int RunningViewer::waitForExit(int timeoutMs)
{
    if (!m_process.waitForFinished(timeoutMs))
        return -1;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

bool RunningViewer::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

QStringList RunningViewer::filesWritten() const
{
    QStringList files;
    QDirIterator it(m_home.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        // fontconfig keeps its own cache; that is the system's, not the program's state.
        if (!path.contains(QStringLiteral("/.cache/fontconfig")))
            files.append(path);
    }
    files.removeAll(m_home.path() + QStringLiteral("/.cache"));
    return files;
}

QRect RunningViewer::toDevicePixels(const QRect& windowPixels) const
{
    return QRectF(QPointF(windowPixels.topLeft()) * m_screenScale,
                  QSizeF(windowPixels.size()) * m_screenScale)
        .toAlignedRect();
}

QPoint RunningViewer::toDevicePixels(const QPoint& windowPixels) const
{
    return (QPointF(windowPixels) * m_screenScale).toPoint();
}

QImage grabScreen(const QRect& area)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

bool waitForKeyboardFocus(const QString& windowId, int timeoutMs)
{
    return waitUntil(
        [&] {
            return runTool(QStringLiteral("xdotool"), {QStringLiteral("getwindowfocus")}) ==
                   windowId;
        },
        timeoutMs, 50);
}

void clickAt(const QPoint& globalPosition)
{
    // Not "mousemove --sync": it waits for a motion that never comes when the pointer is
    // already there.
    runTool(QStringLiteral("xdotool"),
            {QStringLiteral("mousemove"), QString::number(globalPosition.x()),
             QString::number(globalPosition.y()), QStringLiteral("sleep"), QStringLiteral("0.1"),
             QStringLiteral("click"), QStringLiteral("1")});
}

void typeText(const QString& text)
{
    runTool(QStringLiteral("xdotool"),
            {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("5"), text});
}

void pressKey(const QString& keyName)
{
    runTool(QStringLiteral("xdotool"), {QStringLiteral("key"), keyName});
}

QImage grabClientUntil(const RunningViewer& viewer,
                       const std::function<bool(const QImage&)>& expected, int timeoutMs)
{
    QImage shot;
    waitUntil(
        [&] {
            shot = grabScreen(viewer.clientGeometry());
            return expected(shot);
        },
        timeoutMs, 50);
    return shot;
}

QStringList otherWindows(const RunningViewer& viewer)
{
    // --all: without it xdotool takes a window that meets any one condition, so that every
    // named window on the display would count.
    QStringList ids =
        runTool(QStringLiteral("xdotool"),
                {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                 QStringLiteral("--pid"), QString::number(viewer.processId()),
                 QStringLiteral("--name"), QStringLiteral(".")})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ids.removeAll(viewer.windowId());
    return ids;
}

namespace {

QImage withoutPictureArea(const RunningViewer& viewer, const QImage& client)
{
    QImage masked = client;
    QPainter(&masked).fillRect(viewer.toDevicePixels(kPictureArea), Qt::black);
    return masked;
}

} // namespace

bool openThroughDialog(const RunningViewer& viewer, const QString& path, QString* dialogTitle,
                       const std::function<void()>& beforeEnter)
{
    const auto aroundPicture = [&viewer] {
        return withoutPictureArea(viewer, grabScreen(viewer.clientGeometry()));
    };
    const QImage aroundBefore = aroundPicture();
    const QDeadlineTimer deadline(10000);
    const auto remainingMs = [&deadline] { return static_cast<int>(deadline.remainingTime()); };
    QStringList dialogs;
    // A click while the last picture still loads runs no command: it is made again.
    do {
        clickAt(viewer.clientGeometry().topLeft() + viewer.toDevicePixels(kOpenButtonCentre));
    } while (!waitUntil([&] { return !(dialogs = otherWindows(viewer)).isEmpty(); },
                        std::min(remainingMs(), 1000), 50) &&
             !deadline.hasExpired());
    if (dialogs.isEmpty())
        return false;
    if (dialogTitle)
        *dialogTitle =
            runTool(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), dialogs.first()});
    // Keys sent before the dialog has the focus would reach the main window. The dialog must
    // be seen over the window for the window's repaint below to mean anything.
    if (!waitForKeyboardFocus(dialogs.first(), remainingMs()) ||
        !waitUntil([&] { return aroundPicture() != aroundBefore; }, remainingMs(), 50))
        return false;
    typeText(path);
    if (beforeEnter)
        beforeEnter();
    pressKey(QStringLiteral("Return"));
    if (!waitUntil([&] { return otherWindows(viewer).isEmpty(); }, remainingMs(), 50))
        return false;
    // What the dialog covered is drawn again only once the viewer is back in its event loop,
    // after it has loaded the file and in the same pass as the new picture.
    return waitUntil([&] { return aroundPicture() == aroundBefore; }, remainingMs(), 50);
}

QImage pictureArea(const RunningViewer& viewer)
{
    return grabScreen(
        viewer.toDevicePixels(kPictureArea).translated(viewer.clientGeometry().topLeft()));
}

QImage pictureAreaOnce(const RunningViewer& viewer, const std::function<bool(const QImage&)>& shows,
                       int timeoutMs)
{
    QImage area;
    waitUntil([&] { return shows(area = pictureArea(viewer)); }, timeoutMs, 50);
    return area;
}

bool writeGoodPictures(const QString& folder)
{
    const QDir target(folder);
    const QSize size(120, 90);
    return tests::twoHalves(size, qRgb(0, 255, 0), qRgb(0, 255, 0))
               .save(target.filePath(QStringLiteral("green.png"))) &&
           tests::twoHalves(size, qRgb(255, 0, 0), qRgb(0, 0, 255))
               .save(target.filePath(QStringLiteral("halves.png")));
}

WindowManager::WindowManager()
{
    // A manager that ran before may have left its check property on the root window (a
    // server that does not reset keeps it); without this the wait below would end at once.
    runTool(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("-remove"),
                                      QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    m_process.waitForStarted(5000);
    const QDeadlineTimer deadline(10000);
    const auto remainingMs = [&deadline] { return static_cast<int>(deadline.remainingTime()); };
    // openbox announces itself through the _NET_SUPPORTING_WM_CHECK property while it is still
    // starting, and may drop a window's map request made then, so that the window never shows.
    // A window it has framed, and so given _NET_FRAME_EXTENTS, shows that it has started; until
    // then the probe asks again every half second.
    const bool announced = waitUntil(
        [] {
            return runTool(QStringLiteral("xprop"),
                           {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                .contains(QStringLiteral("window id"));
        },
        remainingMs(), 50);
    QWindow probe;
    probe.setGeometry(0, 0, 16, 16);
    const QString probeId = QString::number(probe.winId());
    const auto framed = [&probeId] {
        return runTool(QStringLiteral("xprop"),
                       {QStringLiteral("-id"), probeId, QStringLiteral("_NET_FRAME_EXTENTS")})
            .contains(QLatin1Char('='));
    };
    while (announced && !m_ready && remainingMs() > 0) {
        probe.show();
        m_ready = waitUntil(framed, std::min(500, remainingMs()), 50);
        probe.hide();
    }
}

WindowManager::~WindowManager()
{
    m_process.terminate();
    if (!m_process.waitForFinished(3000))
        m_process.kill();
    m_process.waitForFinished(1000);
    // Leave no stale check window behind for the next test that runs without a manager.
    QTest::qWait(100);
}

bool WindowManager::isRunning() const
{
    return m_ready && m_process.state() == QProcess::Running;
}

} // namespace kavelora::e2e
