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
#include <QThread>

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

RunningViewer::RunningViewer(const QStringList& arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                       m_home.path() + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.path() + QStringLiteral("/.cache"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("SESSION_MANAGER"));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(KAVELORA_EXECUTABLE), arguments);
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
    const QString pid = QString::number(m_process.processId());
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
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
        if (m_process.state() == QProcess::NotRunning)
            return false;
        QTest::qWait(50);
    }
    return false;
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

QImage grabScreen(const QRect& area)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
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

// The viewer's windows other than its main window: dialogs and message boxes.
QStringList otherWindows(const RunningViewer& viewer)
{
    QStringList ids = runTool(QStringLiteral("xdotool"),
                              {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                               QStringLiteral("--pid"), QString::number(viewer.processId()),
                               QStringLiteral("--name"), QStringLiteral(".")})
                          .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ids.removeAll(viewer.windowId());
    return ids;
}

bool openThroughDialog(const RunningViewer& viewer, const QString& path, QString* dialogTitle)
{
    clickAt(viewer.clientGeometry().topLeft() + kOpenButtonCentre);
    QDeadlineTimer deadline(10000);
    QStringList dialogs;
    while ((dialogs = otherWindows(viewer)).isEmpty()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    if (dialogTitle)
        *dialogTitle =
            runTool(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), dialogs.first()});
    QTest::qWait(300);
    typeText(path);
    pressKey(QStringLiteral("Return"));
    while (!otherWindows(viewer).isEmpty()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    // The picture is drawn after the dialog has gone; give it time to settle.
    QTest::qWait(500);
    return true;
}

QImage pictureArea(const RunningViewer& viewer)
{
    return grabScreen(kPictureArea.translated(viewer.clientGeometry().topLeft()));
}

QImage twoColours(QColor left, QColor right)
{
    QImage image(120, 90, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, 60, 90, left);
    painter.fillRect(60, 0, 60, 90, right);
    return image;
}

bool writeGoodPictures(const QString& folder)
{
    const QDir target(folder);
    return twoColours(Qt::green, Qt::green).save(target.filePath(QStringLiteral("green.png")))
           && twoColours(Qt::red, Qt::blue).save(target.filePath(QStringLiteral("halves.png")));
}

bool colourNear(QRgb pixel, QRgb expected, int tolerance)
{
    return qAbs(qRed(pixel) - qRed(expected)) <= tolerance &&
           qAbs(qGreen(pixel) - qGreen(expected)) <= tolerance &&
           qAbs(qBlue(pixel) - qBlue(expected)) <= tolerance;
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
    // openbox announces itself through the _NET_SUPPORTING_WM_CHECK property when ready.
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() &&
           !runTool(QStringLiteral("xprop"),
                    {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                .contains(QStringLiteral("window id")))
        QTest::qWait(50);
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
    return m_process.state() == QProcess::Running;
}

} // namespace kavelora::e2e
