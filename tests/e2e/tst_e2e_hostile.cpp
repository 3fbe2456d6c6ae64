// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The viewer in a real window survives hostile files opened one after another through the
// real open dialog: each leaves the good picture on screen and the process running, and a
// good picture still opens afterwards.

#include "e2e_support.h"

#include <QDir>
#include <QPainter>
#include <QRegularExpression>

#include <filesystem>

using namespace kavelora::e2e;

namespace {

constexpr int kSampleSize = 20;
// Entries that the open dialog itself handles (it enters a folder, and will not accept a
// name that leads nowhere), so they never reach the loader from a typed path.
const QStringList kDialogHandled = {
    QStringLiteral("folder.png"), QStringLiteral("dangling-link.png"),
    QStringLiteral("link-loop-a.png"), QStringLiteral("link-loop-b.png")};
// Always in the sample: the entries that are not ordinary files.
const QStringList kAlwaysSampled = {
    QStringLiteral("fifo.png"), QStringLiteral("link-to-dev-zero.png"),
    QStringLiteral("link-to-dev-urandom.png"), QStringLiteral("sparse-5GiB.png")};

// True when the probe, loading as the open command does, refuses the file.
bool loaderRefuses(const QString& path)
{
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(KAVELORA_LOAD_PROBE), {path});
    return probe.waitForFinished(15000) && probe.exitStatus() == QProcess::NormalExit &&
           probe.exitCode() == 2;
}

} // namespace

class TestEndToEndHostile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void hostileFilesLeaveTheGoodPictureShown();
    void cleanupTestCase();

private:
    QTemporaryDir m_fixtures;
    QStringList m_sample;
};

void TestEndToEndHostile::initTestCase()
{
    QVERIFY(m_fixtures.isValid());
    QVERIFY(writeGoodPictures(m_fixtures.path()));
    QProcess generator;
    generator.setProcessChannelMode(QProcess::ForwardedChannels);
    generator.start(QStringLiteral(KAVELORA_HOSTILE_CORPUS_TOOL), {m_fixtures.path()});
    QVERIFY(generator.waitForFinished(120000));
    QCOMPARE(generator.exitCode(), 0);

    // A spread over the corpus, in name order so that every run takes the same files: names
    // that can be typed, refused by the loader (a file it shows would rightly change the
    // picture).
    const QDir hostile(m_fixtures.filePath(QStringLiteral("hostile")));
    const QRegularExpression typeable(QStringLiteral("^[A-Za-z0-9._-]+$"));
    QStringList candidates;
    for (const QString& name :
         hostile.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        if (typeable.match(name).hasMatch() && !kDialogHandled.contains(name) &&
            !kAlwaysSampled.contains(name))
            candidates.append(name);
    }
    for (const QString& name : kAlwaysSampled) {
        QVERIFY2(loaderRefuses(hostile.filePath(name)), qPrintable(name));
        m_sample.append(hostile.filePath(name));
    }
    const qsizetype stride = candidates.size() / kSampleSize;
    QVERIFY(stride > 0);
    for (qsizetype i = 0; i < candidates.size() && m_sample.size() < kSampleSize; i += stride) {
        // The next refused file from here on, so that the sample spreads over the corpus.
        for (qsizetype j = i; j < std::min(i + stride, candidates.size()); ++j) {
            if (loaderRefuses(hostile.filePath(candidates[j]))) {
                m_sample.append(hostile.filePath(candidates[j]));
                break;
            }
        }
    }
    QCOMPARE(m_sample.size(), kSampleSize);
    qInfo("sample: %s", qPrintable(m_sample.join(QStringLiteral(", "))));
}

void TestEndToEndHostile::hostileFilesLeaveTheGoodPictureShown()
{
    WindowManager windowManager; // gives the dialog keyboard focus, as a desktop would
    QVERIFY(windowManager.isRunning());
    RunningViewer viewer;
    QVERIFY(viewer.waitForWindow());

    QVERIFY(openThroughDialog(viewer, m_fixtures.filePath(QStringLiteral("green.png"))));
    const QImage green = pictureAreaOnce(viewer, [](const QImage& area) {
        return colourNear(area.pixel(237, 248), qRgb(0, 255, 0));
    });
    QVERIFY(colourNear(green.pixel(237, 248), qRgb(0, 255, 0)));

    for (const QString& path : std::as_const(m_sample)) {
        const QString name = QFileInfo(path).fileName();
        QVERIFY2(openThroughDialog(viewer, path), qPrintable(name));
        QVERIFY2(viewer.isRunning(), qPrintable(name));
        QVERIFY2(otherWindows(viewer).isEmpty(), qPrintable(name + QStringLiteral(": a message")));
        QVERIFY2(pictureArea(viewer) == green,
                 qPrintable(name + QStringLiteral(": screen changed")));
    }

    QVERIFY(openThroughDialog(viewer, m_fixtures.filePath(QStringLiteral("halves.png"))));
    const QImage halves = pictureAreaOnce(viewer, [](const QImage& area) {
        return colourNear(area.pixel(2, 248), qRgb(255, 0, 0)) &&
               colourNear(area.pixel(472, 248), qRgb(0, 0, 255));
    });
    QVERIFY(halves != green);
    QVERIFY(colourNear(halves.pixel(2, 248), qRgb(255, 0, 0)));
    QVERIFY(colourNear(halves.pixel(472, 248), qRgb(0, 0, 255)));
    QVERIFY(viewer.isRunning());
}

void TestEndToEndHostile::cleanupTestCase()
{
    // QTemporaryDir cannot remove a name that is not UTF-8; the standard library can.
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(m_fixtures.path()).toStdString(), ignored);
}

KAVELORA_E2E_MAIN(TestEndToEndHostile)
#include "tst_e2e_hostile.moc"
