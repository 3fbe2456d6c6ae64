// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "e2e_support.h"

#include <QElapsedTimer>
#include <QScreen>

#include <algorithm>
#include <cmath>

using namespace kavelora::e2e;

namespace {

const QRgb kPink = qRgb(255, 192, 192);
const QRgb kCyan = kButtonFace;

int toPixels(double twips)
{
    return int(std::lround(twips / 15.0));
}

// Where the layout puts things for a client area of the given pixel size, at 96 dpi.
struct ExpectedLayout
{
    QList<int> buttonLefts; // open, print, exit
    int buttonTop;
    QRect picture;
};

ExpectedLayout expectedFor(QSize client)
{
    const double width = client.width() * 15.0;
    const double height = client.height() * 15.0;
    return {{toPixels(std::max(360.0, width - 90000.0)),
             toPixels(std::max(1680.0, width - 70000.0)),
             toPixels(std::max(3000.0, width - 30000.0))},
            toPixels(height - 500.0),
            QRect(8, 32, toPixels(width - 300.0), toPixels(height - 1000.0))};
}

// What in a screenshot of the client area is not where the layout puts it; empty when
// everything is.
QString layoutMismatch(const QImage& shot, QSize client)
{
    const ExpectedLayout expected = expectedFor(client);
    const int row = expected.buttonTop + 16;
    for (int left : expected.buttonLefts) {
        if (!colourNear(shot.pixel(left + 5, row), kCyan, 0))
            return QStringLiteral("no button face at x %1 for width %2")
                .arg(left)
                .arg(client.width());
        if (!colourNear(shot.pixel(left - 3, row), kPink, 0))
            return QStringLiteral("button not at x %1 for width %2").arg(left).arg(client.width());
    }
    // The picture area reaches 12 pixels from the right edge and ends above the buttons.
    const QRect picture = expected.picture;
    const int middle = picture.center().y();
    if (!colourNear(shot.pixel(picture.right() + 2, middle), kPink, 0) ||
        colourNear(shot.pixel(picture.right() - 1, middle), kPink, 8))
        return QStringLiteral("picture's right edge not at x %1").arg(picture.right());
    if (colourNear(shot.pixel(picture.center().x(), picture.bottom() - 1), kPink, 8) ||
        !colourNear(shot.pixel(picture.center().x(), picture.bottom() + 2), kPink, 0))
        return QStringLiteral("picture's bottom edge not at y %1").arg(picture.bottom());
    return {};
}

bool waitForClientSize(const RunningViewer& viewer, QSize size)
{
    return waitUntil([&] { return viewer.clientGeometry().size() == size; }, 5000, 30);
}

// The client area once laid out for its size.
QImage laidOutShot(const RunningViewer& viewer)
{
    return grabClientUntil(
        viewer, [](const QImage& shot) { return layoutMismatch(shot, shot.size()).isEmpty(); });
}

// The client area once laid out and with the picture in its final, smooth copy. Nothing on
// screen marks the moment the box swaps its quick copy for the smooth one a short quiet time
// after the last resize, so this waits for the pixels to stay the same for longer than that.
QImage settledShot(const RunningViewer& viewer)
{
    constexpr int kSteadyMs = 400;
    QImage steady = laidOutShot(viewer);
    QElapsedTimer steadySince;
    steadySince.start();
    waitUntil(
        [&] {
            const QImage shot = grabScreen(viewer.clientGeometry());
            if (shot != steady) {
                steady = shot;
                steadySince.restart();
            }
            return steadySince.elapsed() >= kSteadyMs;
        },
        5000, 50);
    return steady;
}

QString windowState(const QString& windowId)
{
    return runTool(QStringLiteral("xprop"),
                   {QStringLiteral("-id"), windowId, QStringLiteral("WM_STATE")});
}

} // namespace

class TestEndToEndLayout : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void followsWidth();
    void minimizeRestoreAndMaximize();
};

void TestEndToEndLayout::initTestCase()
{
    const QSize screen = QGuiApplication::primaryScreen()->size();
    if (screen.width() < 6200 || screen.height() < 1000)
        QSKIP("needs a screen at least 6200 x 1000 pixels; ./test.sh starts one 7000 x 2000");
}

void TestEndToEndLayout::followsWidth()
{
    RunningViewer viewer;
    QVERIFY(viewer.waitForWindow());
    const QString id = viewer.windowId();
    runTool(QStringLiteral("xdotool"), {QStringLiteral("windowmove"), QStringLiteral("--sync"), id,
                                        QStringLiteral("0"), QStringLiteral("0")});
    // Below and past the first move of each button, then back.
    for (int width : {1000, 2100, 2300, 4850, 6100, 1000}) {
        const QSize client(width, 700);
        runTool(QStringLiteral("xdotool"),
                {QStringLiteral("windowsize"), id, QString::number(width), QStringLiteral("700")});
        QVERIFY2(waitForClientSize(viewer, client), qPrintable(QString::number(width)));
        const QString mismatch = layoutMismatch(laidOutShot(viewer), client);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }
}

void TestEndToEndLayout::minimizeRestoreAndMaximize()
{
    WindowManager windowManager;
    QVERIFY(windowManager.isRunning());
    RunningViewer viewer;
    QVERIFY(viewer.waitForWindow());
    const QString id = viewer.windowId();
    runTool(QStringLiteral("xdotool"),
            {QStringLiteral("windowsize"), id, QStringLiteral("900"), QStringLiteral("650")});
    QVERIFY(waitForClientSize(viewer, QSize(900, 650)));
    const QRect before = viewer.clientGeometry();
    const QImage shotBefore = settledShot(viewer);
    const QString mismatchBefore = layoutMismatch(shotBefore, before.size());
    QVERIFY2(mismatchBefore.isEmpty(), qPrintable(mismatchBefore));

    runTool(QStringLiteral("xdotool"), {QStringLiteral("windowminimize"), id});
    QTRY_VERIFY_WITH_TIMEOUT(windowState(id).contains(QStringLiteral("Iconic")), 5000);

    runTool(QStringLiteral("wmctrl"), {QStringLiteral("-i"), QStringLiteral("-a"), id});
    QTRY_VERIFY_WITH_TIMEOUT(windowState(id).contains(QStringLiteral("Normal")), 5000);
    QVERIFY(waitForClientSize(viewer, before.size()));
    QCOMPARE(
        grabClientUntil(viewer, [&shotBefore](const QImage& shot) { return shot == shotBefore; }),
        shotBefore);

    runTool(QStringLiteral("wmctrl"),
            {QStringLiteral("-i"), QStringLiteral("-r"), id, QStringLiteral("-b"),
             QStringLiteral("add,maximized_vert,maximized_horz")});
    waitUntil([&viewer] { return viewer.clientGeometry().width() >= 6000; }, 5000, 30);
    const QRect maximized = viewer.clientGeometry();
    QVERIFY2(maximized.width() >= 6000, qPrintable(QString::number(maximized.width())));
    const QString mismatch = layoutMismatch(laidOutShot(viewer), maximized.size());
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

KAVELORA_E2E_MAIN(TestEndToEndLayout)
#include "tst_e2e_layout.moc"
