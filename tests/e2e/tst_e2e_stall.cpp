// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The window keeps answering while a picture takes seconds to open: gui_stall_probe pings it
// every 5 ms from just before Enter is pressed in the open dialog until the picture is on
// screen, and the longest time it went unanswered must be a small part of that. Not a speed
// goal: a window that waits on the decode goes unanswered for all of it.

#include "e2e_support.h"
#include "flat_jpeg.h"
#include "stall_probe.h"

#include <QElapsedTimer>
#include <QFileInfo>

namespace kavelora::e2e {

namespace {

// A decode shorter than this says too little about a window that waits on it.
constexpr qint64 kShortestMeaningfulOpenMs = 500;
// The longest stall allowed, as a part of the time from Enter to the picture shown.
constexpr double kLongestStallShare = 1.0 / 3.0;

// True when the picture area shows colour at its centre and near each of its corners.
bool pictureAreaShows(const RunningViewer& viewer, QRgb colour)
{
    const QImage area = pictureArea(viewer);
    const int right = area.width() - 4;
    const int bottom = area.height() - 4;
    for (const QPoint point : {QPoint(right / 2, bottom / 2), QPoint(4, 4), QPoint(right, 4),
                               QPoint(4, bottom), QPoint(right, bottom)}) {
        if (!colourNear(area.pixel(point), colour, 3))
            return false;
    }
    return true;
}

} // namespace

class TestE2eStall : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void windowAnswersWhileAPictureOpens_data();
    void windowAnswersWhileAPictureOpens();

private:
    QTemporaryDir m_pictures;
};

void TestE2eStall::initTestCase()
{
    QVERIFY(m_pictures.isValid());
    QVERIFY2(QFileInfo(QStringLiteral(KAVELORA_GUI_STALL_PROBE)).isExecutable(),
             KAVELORA_GUI_STALL_PROBE);
    // The largest side a JPEG allows: the helper takes seconds to walk its 100 million blocks.
    QVERIFY(tests::writeFlatGreyJpeg(m_pictures.filePath(QStringLiteral("flat_65496.jpg")),
                                     QSize(65496, 65496)));
    QVERIFY(writeGoodPictures(m_pictures.path()));
}

void TestE2eStall::windowAnswersWhileAPictureOpens_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("pictureName");
    // What the picture area shows once the picture is in.
    QTest::addColumn<QRgb>("shownColour");
    QTest::newRow("real helper decoding a JPEG of 65496 pixels a side")
        << QStringLiteral(KAVELORA_EXECUTABLE) << QStringList() << QStringList()
        << QStringLiteral("flat_65496.jpg") << qRgb(128, 128, 128);
    QTest::newRow("decoding made to take 3 s")
        << QStringLiteral(KAVELORA_SLOW_VIEWER) << QStringList()
        << QStringList{QStringLiteral("KAVELORA_TEST_DECODE_DELAY_MS=3000")}
        << QStringLiteral("green.png") << qRgb(0, 255, 0);
}

void TestE2eStall::windowAnswersWhileAPictureOpens()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(QString, pictureName);
    QFETCH(QRgb, shownColour);
    RunningViewer viewer(program, arguments, environment);
    QVERIFY(viewer.waitForWindow());
    QVERIFY(!pictureAreaShows(viewer, shownColour));
    StallProbe probe(QStringLiteral(KAVELORA_GUI_STALL_PROBE), viewer.windowId());
    QVERIFY2(probe.waitForReady(), "the window answered no ping");

    // The dialog and the typing of the path do not count: both start just before Enter.
    QElapsedTimer sinceEnter;
    QVERIFY(openThroughDialog(viewer, m_pictures.filePath(pictureName), nullptr, [&] {
        probe.restart();
        sinceEnter.start();
    }));
    // Each look grabs the whole area: looking too often takes the processor from the decode.
    QVERIFY2(waitUntil([&] { return pictureAreaShows(viewer, shownColour); }, 30000, 40),
             qPrintable(QStringLiteral("the picture was not shown; the viewer said: ") +
                        viewer.standardError()));
    const qint64 enterToShownMs = sinceEnter.elapsed();
    const std::optional<StallFigures> figures = probe.stop();
    QVERIFY2(figures, "the probe gave no figures");
    const QByteArray summary = QStringLiteral("Enter to shown %1 ms, longest stall %2 ms, longest "
                                              "round trip %3 ms, %4 of %5 pings answered")
                                   .arg(enterToShownMs)
                                   .arg(figures->longestGapMs)
                                   .arg(figures->longestRoundTripMs)
                                   .arg(figures->answered)
                                   .arg(figures->sent)
                                   .toUtf8();
    qInfo("%s", summary.constData());
    QVERIFY2(enterToShownMs >= kShortestMeaningfulOpenMs, summary.constData());
    QVERIFY2(figures->answered > 0, summary.constData());
    QVERIFY2(figures->longestGapMs < static_cast<double>(enterToShownMs) * kLongestStallShare,
             summary.constData());
}

} // namespace kavelora::e2e

KAVELORA_E2E_MAIN(kavelora::e2e::TestE2eStall)

#include "tst_e2e_stall.moc"
