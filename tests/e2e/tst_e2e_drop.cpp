// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "e2e_support.h"

#include <QDir>
#include <QFile>

using namespace kavelora::e2e;

namespace {

const QRgb kSourceColour = qRgb(255, 0, 255);

// The drag source's window, left of the viewer; pressed, it starts a drag that ends in "drop: ..."
// on its output when the mouse is released.
class DragSource
{
public:
    DragSource(const QPoint& place, const QStringList& arguments)
        : m_place(place)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(QStringLiteral(KAVELORA_DRAG_SOURCE),
                        QStringList{QStringLiteral("--at"),
                                    QStringLiteral("%1,%2").arg(place.x()).arg(place.y())} +
                            arguments);
    }

    ~DragSource()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    DragSource(const DragSource&) = delete;
    DragSource& operator=(const DragSource&) = delete;

    bool waitForWindow()
    {
        return waitUntil(
            [&] { return grabScreen(QRect(centre(), QSize(1, 1))).pixel(0, 0) == kSourceColour; },
            10000, 50);
    }

    QPoint centre() const { return m_place + QPoint(60, 60); }

    // What the source said when its drag ended; empty when it has not ended within 10 s.
    QString outcome()
    {
        waitUntil([&] { return m_process.canReadLine(); }, 10000, 50);
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }

private:
    QPoint m_place;
    QProcess m_process;
};

// Presses the mouse in from, moves it to to in steps with pauses, so that both programs see
// every stage of the drag, and releases it there.
void dragWithMouse(const QPoint& from, const QPoint& to)
{
    QStringList steps{
        QStringLiteral("mousemove"), QString::number(from.x()), QString::number(from.y()),
        QStringLiteral("sleep"),     QStringLiteral("0.2"),     QStringLiteral("mousedown"),
        QStringLiteral("1"),         QStringLiteral("sleep"),   QStringLiteral("0.3")};
    constexpr int kSteps = 8;
    for (int step = 1; step <= kSteps; ++step) {
        const QPoint at = from + (to - from) * step / kSteps;
        steps << QStringLiteral("mousemove") << QString::number(at.x()) << QString::number(at.y())
              << QStringLiteral("sleep") << QStringLiteral("0.1");
    }
    // A last small move over the target, answered before the release.
    steps << QStringLiteral("mousemove") << QString::number(to.x() + 3) << QString::number(to.y())
          << QStringLiteral("sleep") << QStringLiteral("0.4") << QStringLiteral("mouseup")
          << QStringLiteral("1");
    runTool(QStringLiteral("xdotool"), steps);
}

bool allNear(const QImage& image, QRgb colour)
{
    for (const QPoint point : {QPoint(2, 2), QPoint(237, 248), QPoint(472, 494)})
        if (!colourNear(image.pixel(point), colour))
            return false;
    return true;
}

} // namespace

class TestEndToEndDrop : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void dropOnPictureArea_data();
    void dropOnPictureArea();

private:
    QTemporaryDir m_fixtures;
};

void TestEndToEndDrop::initTestCase()
{
    QVERIFY(m_fixtures.isValid());
    QVERIFY(writeGoodPictures(m_fixtures.path()));
    QFile broken(m_fixtures.filePath(QStringLiteral("broken.png")));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(40, '\x7f'));
    QVERIFY(QDir(m_fixtures.path()).mkdir(QStringLiteral("folder.png")));
}

void TestEndToEndDrop::dropOnPictureArea_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<bool>("opens");
    const QString green = m_fixtures.filePath(QStringLiteral("green.png"));

    QTest::newRow("a picture file opens")
        << QStringList{green} << QStringLiteral("drop: copy") << true;
    QTest::newRow("the first of two files opens")
        << QStringList{green, m_fixtures.filePath(QStringLiteral("halves.png"))}
        << QStringLiteral("drop: copy") << true;
    QTest::newRow("a text drag is refused")
        << QStringList{QStringLiteral("--text"), green} << QStringLiteral("drop: refused") << false;
    QTest::newRow("a broken file changes nothing")
        << QStringList{m_fixtures.filePath(QStringLiteral("broken.png"))}
        << QStringLiteral("drop: copy") << false;
    QTest::newRow("a folder changes nothing")
        << QStringList{m_fixtures.filePath(QStringLiteral("folder.png"))}
        << QStringLiteral("drop: copy") << false;
}

void TestEndToEndDrop::dropOnPictureArea()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, outcome);
    QFETCH(bool, opens);

    RunningViewer viewer;
    QVERIFY(viewer.waitForWindow());
    const QRect client = viewer.clientGeometry();
    const QImage before = pictureArea(viewer);
    DragSource source(client.topLeft() + QPoint(-300, 200), arguments);
    QVERIFY(source.waitForWindow());

    dragWithMouse(source.centre(), client.topLeft() + kPictureArea.center());
    QCOMPARE(source.outcome(), outcome);
    if (opens) {
        QVERIFY(waitUntil([&] { return allNear(pictureArea(viewer), qRgb(0, 255, 0)); }, 5000, 50));
    } else {
        // Nothing to wait for: the picture must stay as it was for a while.
        QVERIFY(!waitUntil([&] { return pictureArea(viewer) != before; }, 1500, 50));
    }
    QVERIFY(viewer.isRunning());
    QVERIFY2(otherWindows(viewer).isEmpty(), "a window other than the viewer's appeared");
}

KAVELORA_E2E_MAIN(TestEndToEndDrop)
#include "tst_e2e_drop.moc"
