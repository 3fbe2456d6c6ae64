// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "e2e_support.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QPainter>

using namespace kavelora::e2e;

namespace {

const QPoint kOpenButtonCentre(24 + 40, 531 + 16);
// The picture area after the first layout pass, in window pixels.
const QRect kPictureArea(8, 32, 475, 497);

QImage twoColours(QColor left, QColor right)
{
    QImage image(120, 90, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, 60, 90, left);
    painter.fillRect(60, 0, 60, 90, right);
    return image;
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

// Clicks "開　く", types the path into the real file dialog and presses Enter.
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
        *dialogTitle = runTool(QStringLiteral("xdotool"),
                               {QStringLiteral("getwindowname"), dialogs.first()});
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

} // namespace

class TestEndToEndOpen : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void opensTypedPathsAndIgnoresNonPictures();

private:
    QTemporaryDir m_fixtures;
};

void TestEndToEndOpen::initTestCase()
{
    QVERIFY(m_fixtures.isValid());
    QVERIFY(twoColours(Qt::green, Qt::green).save(m_fixtures.filePath(QStringLiteral("green.png"))));
    QVERIFY(twoColours(Qt::red, Qt::blue).save(m_fixtures.filePath(QStringLiteral("halves.png"))));
    QFile text(m_fixtures.filePath(QStringLiteral("not-a-picture.png")));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("This is a text file wearing a picture's name.\n");
}

void TestEndToEndOpen::opensTypedPathsAndIgnoresNonPictures()
{
    WindowManager windowManager; // gives the dialog keyboard focus, as a desktop would
    QVERIFY(windowManager.isRunning());
    RunningViewer viewer;
    QVERIFY(viewer.waitForWindow());
    QTest::qWait(300);

    QString title;
    QVERIFY(openThroughDialog(viewer, m_fixtures.filePath(QStringLiteral("green.png")), &title));
    QVERIFY2(title.contains(QRegularExpression(QStringLiteral("[\\x{3040}-\\x{30ff}\\x{4e00}-\\x{9fff}]"))),
             qPrintable(QStringLiteral("dialog title is not Japanese: ") + title));
    const QImage green = pictureArea(viewer);
    for (const QPoint point : {QPoint(2, 2), QPoint(237, 248), QPoint(472, 494)})
        QVERIFY(colourNear(green.pixel(point), qRgb(0, 255, 0)));

    QVERIFY(openThroughDialog(viewer, m_fixtures.filePath(QStringLiteral("not-a-picture.png")),
                              nullptr));
    QVERIFY(viewer.isRunning());
    QVERIFY2(otherWindows(viewer).isEmpty(), "a message appeared after a failed open");
    QCOMPARE(pictureArea(viewer), green);

    QVERIFY(openThroughDialog(viewer, m_fixtures.filePath(QStringLiteral("halves.png")), nullptr));
    const QImage halves = pictureArea(viewer);
    QVERIFY(colourNear(halves.pixel(2, 248), qRgb(255, 0, 0)));
    QVERIFY(colourNear(halves.pixel(472, 248), qRgb(0, 0, 255)));
    QVERIFY(viewer.filesWritten().isEmpty());
}

KAVELORA_E2E_MAIN(TestEndToEndOpen)
#include "tst_e2e_open.moc"
