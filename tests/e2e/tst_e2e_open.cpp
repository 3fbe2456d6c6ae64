// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "e2e_support.h"

#include <QFile>

using namespace kavelora::e2e;

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
    QVERIFY(writeGoodPictures(m_fixtures.path()));
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

    QString title;
    QVERIFY(openThroughDialog(viewer, m_fixtures.filePath(QStringLiteral("green.png")), &title));
    QVERIFY2(title.contains(
                 QRegularExpression(QStringLiteral("[\\x{3040}-\\x{30ff}\\x{4e00}-\\x{9fff}]"))),
             qPrintable(QStringLiteral("dialog title is not Japanese: ") + title));
    const QImage green = pictureAreaOnce(viewer, [](const QImage& area) {
        return colourNear(area.pixel(237, 248), qRgb(0, 255, 0));
    });
    for (const QPoint point : {QPoint(2, 2), QPoint(237, 248), QPoint(472, 494)})
        QVERIFY(colourNear(green.pixel(point), qRgb(0, 255, 0)));

    QVERIFY(openThroughDialog(viewer, m_fixtures.filePath(QStringLiteral("not-a-picture.png")),
                              nullptr));
    QVERIFY(viewer.isRunning());
    QVERIFY2(otherWindows(viewer).isEmpty(), "a message appeared after a failed open");
    QCOMPARE(pictureArea(viewer), green);

    QVERIFY(openThroughDialog(viewer, m_fixtures.filePath(QStringLiteral("halves.png")), nullptr));
    const QImage halves = pictureAreaOnce(viewer, [](const QImage& area) {
        return colourNear(area.pixel(2, 248), qRgb(255, 0, 0)) &&
               colourNear(area.pixel(472, 248), qRgb(0, 0, 255));
    });
    QVERIFY(colourNear(halves.pixel(2, 248), qRgb(255, 0, 0)));
    QVERIFY(colourNear(halves.pixel(472, 248), qRgb(0, 0, 255)));
    QVERIFY(viewer.filesWritten().isEmpty());
}

KAVELORA_E2E_MAIN(TestEndToEndOpen)
#include "tst_e2e_open.moc"
