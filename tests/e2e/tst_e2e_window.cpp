// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "e2e_support.h"

#include <QFile>
#include <QScreen>

#include <algorithm>

using namespace kavelora::e2e;

namespace {

const QRgb kPink = qRgb(255, 192, 192);
const QRgb kCyan = kButtonFace;

// The buttons in window pixels at the first layout: open, print, exit.
const QList<QRect> kButtons = {kOpenButton, QRect(112, 531, 81, 33), QRect(200, 531, 81, 33)};

// Samples of the picture area, every eighth pixel each way, that are not white.
int inkedSamples(const QImage& shot)
{
    int inked = 0;
    for (int y = 32; y < 529; y += 8)
        for (int x = 8; x < 483; x += 8)
            inked += colourNear(shot.pixel(x, y), qRgb(255, 255, 255), 10) ? 0 : 1;
    return inked;
}

// True when the background and every button face have been painted.
bool backgroundAndButtonsDrawn(const QImage& shot)
{
    if (!colourNear(shot.pixel(490, 300), kPink, 0))
        return false;
    return std::ranges::all_of(kButtons, [&shot](const QRect& button) {
        return colourNear(shot.pixel(button.left() + 6, button.center().y()), kCyan, 0);
    });
}

} // namespace

class TestEndToEndWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void windowAsDescribed();
    void exitButtonEndsProcess();
    void qtOptionsAreIgnored();
    void closeBoxEndsProcess();
};

void TestEndToEndWindow::windowAsDescribed()
{
    RunningViewer viewer;
    QVERIFY(viewer.waitForWindow());
    const QRect client = viewer.clientGeometry();
    QCOMPARE(client.size(), QSize(495, 564));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QVERIFY(qAbs(client.center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(client.center().y() - screen.center().y()) <= 1);

    const QImage shot = grabClientUntil(viewer, [](const QImage& grab) {
        return backgroundAndButtonsDrawn(grab) && inkedSamples(grab) > 200;
    });
    QVERIFY(colourNear(shot.pixel(490, 300), kPink, 0));
    QVERIFY(colourNear(shot.pixel(0, 0), kPink, 0));
    QVERIFY(!colourNear(shot.pixel(16, 16), kPink, 20));
    for (const QRect& button : kButtons) {
        QVERIFY(colourNear(shot.pixel(button.left() + 6, button.center().y()), kCyan, 0));
        QVERIFY(colourNear(shot.pixel(button.right() - 6, button.top() + 5), kCyan, 0));
        QVERIFY(colourNear(shot.pixel(button.left() - 3, button.center().y()), kPink, 0));
    }
    const int inked = inkedSamples(shot);
    QVERIFY2(inked > 200, qPrintable(QString::number(inked)));
}

void TestEndToEndWindow::exitButtonEndsProcess()
{
    RunningViewer viewer;
    QVERIFY(viewer.waitForWindow());
    const QRect client = viewer.clientGeometry();
    clickAt(client.topLeft() + kButtons[2].center());
    QCOMPARE(viewer.waitForExit(2000), 0);
    QCOMPARE(viewer.filesWritten(), QStringList());
}

void TestEndToEndWindow::qtOptionsAreIgnored()
{
    // Were the option honoured, the whole window would turn blue.
    QTemporaryDir folder;
    const QString styleSheet = folder.filePath(QStringLiteral("blue.qss"));
    QFile file(styleSheet);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("* { background-color: rgb(0, 0, 255); }");
    file.close();

    RunningViewer viewer({QStringLiteral("-stylesheet"), styleSheet});
    QVERIFY(viewer.waitForWindow());
    // Honoured, the option would turn these pixels blue: the wait then runs out.
    const QImage shot = grabClientUntil(viewer, backgroundAndButtonsDrawn);
    QVERIFY(colourNear(shot.pixel(490, 300), kPink, 0));
    QVERIFY(colourNear(shot.pixel(kButtons[0].left() + 6, kButtons[0].center().y()), kCyan, 0));
}

void TestEndToEndWindow::closeBoxEndsProcess()
{
    WindowManager windowManager;
    QVERIFY(windowManager.isRunning());
    RunningViewer viewer;
    QVERIFY(viewer.waitForWindow());
    // wmctrl asks the window manager to close the window, which sends WM_DELETE_WINDOW
    // exactly as the close box does.
    runTool(QStringLiteral("wmctrl"),
            {QStringLiteral("-i"), QStringLiteral("-c"), viewer.windowId()});
    QCOMPARE(viewer.waitForExit(2000), 0);
    QCOMPARE(viewer.filesWritten(), QStringList());
}

KAVELORA_E2E_MAIN(TestEndToEndWindow)
#include "tst_e2e_window.moc"
