// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
//
// The window while a picture is decoded, and the file named on the command line: a viewer
// whose decodes take as long as the test asks, and the real one.

#include "e2e_support.h"

#include <QTemporaryDir>
#include <QTest>

using namespace kavelora::e2e;

namespace {

const QRgb kGreen = qRgb(0, 255, 0);

QString slowDecodes(int delayMs)
{
    return QStringLiteral("KAVELORA_TEST_DECODE_DELAY_MS=%1").arg(delayMs);
}

bool areaIs(const RunningViewer& viewer, QRgb colour)
{
    const QImage area = pictureArea(viewer);
    return colourNear(area.pixel(area.width() / 2, area.height() / 2), colour, 8);
}

} // namespace

class TestEndToEndWaiting : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void clickDuringALoadRunsNothing();
    void closingDuringALoadEndsAtOnce();
    void fileOnTheCommandLine_data();
    void fileOnTheCommandLine();

private:
    QTemporaryDir m_dir;
};

void TestEndToEndWaiting::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(writeGoodPictures(m_dir.path()));
}

// One command at a time: while a picture loads, a click on the open button shows no dialog;
// once it is shown, the same click does.
void TestEndToEndWaiting::clickDuringALoadRunsNothing()
{
    RunningViewer viewer(QStringLiteral(KAVELORA_SLOW_VIEWER), {}, {slowDecodes(3000)});
    QVERIFY(viewer.waitForWindow());
    QVERIFY(openThroughDialog(viewer, m_dir.filePath(QStringLiteral("green.png"))));
    QVERIFY(!areaIs(viewer, kGreen));
    const QPoint openButton = viewer.clientGeometry().topLeft() + kOpenButtonCentre;
    clickAt(openButton);
    QVERIFY(!waitUntil([&] { return !otherWindows(viewer).isEmpty(); }, 1000));

    QVERIFY(waitUntil([&] { return areaIs(viewer, kGreen); }, 10000));
    // The load ends an event or two after its picture shows: the click may come first.
    QStringList dialogs;
    QVERIFY(waitUntil(
        [&] {
            clickAt(openButton);
            return waitUntil([&] { return !(dialogs = otherWindows(viewer)).isEmpty(); }, 500);
        },
        5000, 1));
    QVERIFY(waitForKeyboardFocus(dialogs.first()));
    pressKey(QStringLiteral("Escape"));
    QVERIFY(waitUntil([&] { return otherWindows(viewer).isEmpty(); }, 5000));
    // Drawn again where the dialog was, the picture is still there.
    QVERIFY(waitUntil([&] { return areaIs(viewer, kGreen); }, 5000));
}

// The request under way is abandoned: the program ends long before its decode would.
void TestEndToEndWaiting::closingDuringALoadEndsAtOnce()
{
    WindowManager windowManager;
    QVERIFY(windowManager.isRunning());
    RunningViewer viewer(QStringLiteral(KAVELORA_SLOW_VIEWER), {}, {slowDecodes(60000)});
    QVERIFY(viewer.waitForWindow());
    QVERIFY(openThroughDialog(viewer, m_dir.filePath(QStringLiteral("green.png"))));
    runTool(QStringLiteral("wmctrl"),
            {QStringLiteral("-i"), QStringLiteral("-c"), viewer.windowId()});
    QCOMPARE(viewer.waitForExit(10000), 0);
}

void TestEndToEndWaiting::fileOnTheCommandLine_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");

    QTest::newRow("a picture replaces the start picture") << u"green.png"_qs << QString();
    QTest::newRow("a missing file leaves it, and says so")
        << u"missing.png"_qs << u"ファイルが見つかりません。"_qs;
    QTest::newRow("a broken file leaves it, and says so")
        << u"broken.png"_qs << u"ピクチャが不正です。"_qs;
}

// The real viewer, with its decoder helper, given a file as the desktop gives one.
void TestEndToEndWaiting::fileOnTheCommandLine()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QFile broken(m_dir.filePath(QStringLiteral("broken.png")));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("\x89PNG\r\n\x1a\n but nothing after");
    broken.close();
    const QString path = m_dir.filePath(name);

    RunningViewer viewer(QStringLiteral(KAVELORA_EXECUTABLE),
                         {path, m_dir.filePath(u"green.png"_qs)}, {});
    QVERIFY(viewer.waitForWindow());
    if (reason.isEmpty()) {
        QVERIFY(waitUntil([&] { return areaIs(viewer, kGreen); }, 10000));
        QVERIFY(otherWindows(viewer).isEmpty());
        return;
    }
    QVERIFY(waitUntil([&] { return !otherWindows(viewer).isEmpty(); }, 10000));
    const QString said = viewer.standardError();
    QVERIFY2(said.contains(path) && said.contains(reason), qPrintable(said));
    QCOMPARE(said.split(QLatin1Char('\n')).filter(path).size(), 1);
    // The start picture stays: its top-left corner is not the dropped picture's green.
    QVERIFY(!areaIs(viewer, kGreen));
    QVERIFY(viewer.isRunning());
}

KAVELORA_E2E_MAIN(TestEndToEndWaiting)
#include "tst_e2e_waiting.moc"
