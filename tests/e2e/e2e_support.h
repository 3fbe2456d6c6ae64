// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture_fixtures.h"
#include "wait_until.h"

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

namespace kavelora::e2e {

using tests::colourNear;
using tests::waitUntil;

// Runs a command-line tool to completion (bounded) and returns what it printed.
QString runTool(const QString& program, const QStringList& arguments, int timeoutMs = 10000);

// The built viewer, or another build of it given as program, started in its own process on
// the test's X display with an empty configuration and cache folder of its own, its screen
// scaled by screenScale (QT_SCALE_FACTOR).
class RunningViewer
{
public:
    explicit RunningViewer(const QStringList& arguments = {}, double screenScale = 1.0);
    // Another build of the viewer, such as one whose decoding is made slow, with variables
    // ("NAME=value") added to its environment; what it writes on standard error is kept.
    RunningViewer(const QString& executable, const QStringList& arguments,
                  const QStringList& environment = {});
    ~RunningViewer();

    // Waits for the window titled "Kavelora Ver1.0" to be mapped and its buttons drawn;
    // false after timeoutMs.
    bool waitForWindow(int timeoutMs = 15000);
    QString windowId() const { return m_windowId; }
    // The client area in screen coordinates, asked afresh from the X server.
    QRect clientGeometry() const;
    // Waits for the process to end; the exit code, or -1 on a crash or time-out.
    int waitForExit(int timeoutMs);
    bool isRunning() const;
    qint64 processId() const { return m_process.processId(); }
    // What it has written on standard error so far, when started to keep it.
    QString standardError();
    // The folder given as HOME and XDG_CONFIG_HOME; the viewer must leave it empty.
    QString homePath() const { return m_home.path(); }
    QStringList filesWritten() const;
    // A point or rectangle given in window pixels, in the device pixels the X server shows;
    // a rectangle takes in every device pixel it touches.
    QRect toDevicePixels(const QRect& windowPixels) const;
    QPoint toDevicePixels(const QPoint& windowPixels) const;

private:
    void start(const QString& executable, const QStringList& arguments,
               const QStringList& environment);
    void reportNoWindow(const QString& what);

    QTemporaryDir m_home;
    QProcess m_process;
    QString m_errors;
    QString m_windowId;
    double m_screenScale;
};

// The whole screen or a part of it, as the X server shows it.
QImage grabScreen(const QRect& area);
// True once the X server gives the keyboard focus to the window; false after timeoutMs.
bool waitForKeyboardFocus(const QString& windowId, int timeoutMs = 5000);

void clickAt(const QPoint& globalPosition);
void typeText(const QString& text);
void pressKey(const QString& keyName);

// The open button and the picture area after the first layout pass, in window pixels
// (device pixels at scale 1).
inline const QRect kOpenButton(24, 531, 81, 33);
inline const QPoint kOpenButtonCentre = kOpenButton.center();
inline const QRect kPictureArea(8, 32, 475, 497);
inline const QRgb kButtonFace = qRgb(192, 255, 255);

// Grabs the viewer's client area, wherever it is at the time, until expected holds for the
// grab or timeoutMs pass; the last grab.
QImage grabClientUntil(const RunningViewer& viewer,
                       const std::function<bool(const QImage&)>& expected, int timeoutMs = 5000);
// The viewer's windows other than its main window: dialogs and message boxes.
QStringList otherWindows(const RunningViewer& viewer);
// Clicks "開　く" (again while the viewer still loads the last picture and takes no command),
// types the path into the real file dialog and presses Enter, then waits for the viewer to
// have drawn again what the dialog covered; the picture itself may come later; false when any of
// that takes more than 10 s in all. dialogTitle receives the dialog's title; beforeEnter runs just
// before Enter is pressed.
bool openThroughDialog(const RunningViewer& viewer, const QString& path,
                       QString* dialogTitle = nullptr,
                       const std::function<void()>& beforeEnter = {});
// The viewer's picture area as the X server shows it.
QImage pictureArea(const RunningViewer& viewer);
// The picture area once shows holds for it: a picture opened comes after its dialog has
// closed. The last grab after timeoutMs when it never does.
QImage pictureAreaOnce(const RunningViewer& viewer, const std::function<bool(const QImage&)>& shows,
                       int timeoutMs = 10000);

// Writes green.png (all green) and halves.png (red left, blue right) into folder; false when
// either cannot be written.
bool writeGoodPictures(const QString& folder);

// A small window manager on the test's display for as long as the object lives, so the
// window gets a frame, a close box and minimize/maximize handling.
class WindowManager
{
public:
    // Returns once the manager frames new windows, or after 10 s.
    WindowManager();
    ~WindowManager();
    // True when it runs and framed a window of the test's own within the 10 s.
    bool isRunning() const;

private:
    QProcess m_process;
    bool m_ready = false;
};

} // namespace kavelora::e2e

#include <QGuiApplication>
#include <QTest>

#include <cstdio>

// The main of an end-to-end test: it needs the X display that ./test.sh provides, and
// reports itself skipped (exit code 77) without one.
#define KAVELORA_E2E_MAIN(TestObject)                                                              \
    int main(int argc, char* argv[])                                                               \
    {                                                                                              \
        if (qEnvironmentVariableIsEmpty("DISPLAY")) {                                              \
            std::puts("SKIP: needs an X display; ./test.sh starts Xvfb for these tests");          \
            return 77;                                                                             \
        }                                                                                          \
        qputenv("QT_QPA_PLATFORM", "xcb");                                                         \
        QGuiApplication application(argc, argv);                                                   \
        TestObject test;                                                                           \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
