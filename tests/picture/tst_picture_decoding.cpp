// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "future_result.h"
#include "in_process_decoding.h"
#include "loaded_picture.h"
#include "picture/animation.h"
#include "picture/built_in_assets.h"
#include "picture/helper/helper_decoding.h"
#include "picture_fixtures.h"
#include "platform/runtime_error.h"
#include "test_files.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace kavelora;
using namespace kavelora::tests;
using picture::DecodeResult;
using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);

// The error finishedResult raised, or 0 when it gave a result.
int errorOf(const QFuture<DecodeResult>& future)
{
    try {
        static_cast<void>(picture::finishedResult(future));
        return 0;
    } catch (const RuntimeError& error) {
        return error.number();
    }
}

} // namespace

// What the window, animations and printing ask of a decoding service, and what they get back.
class TestPictureDecoding : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void finishedResultNeverWaits_data();
    void finishedResultNeverWaits();
    void finerCopiesComeFromTheServiceThatDecoded();
    void animationAsksTheServiceThatDecoded();
    void builtInPictureAsksNoService();
    void helperFailureComesThroughTheFuture();
    void helperServesRequestsInTurn_data();
    void helperServesRequestsInTurn();
    void requestsLeftWhenTheServiceGoesEndCancelled();
    void lateAnimationFrameIsSkippedNeverTwiceInARow();

private:
    QPromise<DecodeResult> m_running;
};

void TestPictureDecoding::finishedResultNeverWaits_data()
{
    QTest::addColumn<QFuture<DecodeResult>>("future");
    QTest::addColumn<int>("error");
    QTest::addColumn<QSize>("ownSize");

    QTest::newRow("served") << picture::finishedFuture<DecodeResult>([] {
        return DecodeResult{QImage(2, 3, QImage::Format_RGB32), QSize(4, 6), "png", false, 0, 0, 0};
    }) << 0 << QSize(4, 6);
    QTest::newRow("refused with its error number")
        << picture::finishedFuture<DecodeResult>(
               []() -> DecodeResult { throw RuntimeError(ErrorNumber::InvalidPicture); })
        << static_cast<int>(ErrorNumber::InvalidPicture) << QSize();
    // A service that left its request running: the caller is not held up waiting for it.
    m_running.start();
    QTest::newRow("still running is a time-out")
        << m_running.future() << static_cast<int>(ErrorNumber::DeviceTimeout) << QSize();
    QFuture<DecodeResult> dropped;
    {
        QPromise<DecodeResult> forgotten;
        forgotten.start();
        dropped = forgotten.future();
    }
    QTest::newRow("dropped unanswered")
        << dropped << static_cast<int>(ErrorNumber::DeviceUnavailable) << QSize();
}

void TestPictureDecoding::finishedResultNeverWaits()
{
    QFETCH(QFuture<DecodeResult>, future);
    QFETCH(int, error);
    QFETCH(QSize, ownSize);
    QCOMPARE(errorOf(future), error);
    if (error == 0)
        QCOMPARE(picture::finishedResult(future).ownSize, ownSize);
}

void TestPictureDecoding::finerCopiesComeFromTheServiceThatDecoded()
{
    const QSize ownSize(1600, 1200);
    const QByteArray jpeg = encoded(twoHalves(ownSize, kBlue, kRed), "JPEG", 90);
    const auto decoding = inProcessDecoding();
    const auto other = inProcessDecoding();
    const picture::Picture picture = loadedPicture(jpeg, QSize(400, 300), decoding);
    QCOMPARE(picture.screenImage().size(), ownSize / 4);
    QCOMPARE(kavelora::tests::resultOf(picture.decodeForSize(ownSize / 2)).size(), ownSize / 2);
    QCOMPARE(decoding->calls, QStringList({QStringLiteral("decode 400x300"),
                                           QStringLiteral("decode 800x600 held 400x300")}));
    QVERIFY(other->calls.isEmpty());
}

void TestPictureDecoding::animationAsksTheServiceThatDecoded()
{
    const QSize size(8, 8);
    const QByteArray gif =
        gifFile(size, {kRed, kBlue}, {QByteArray(64, char(0)), QByteArray(64, char(1))}, 5);
    const auto decoding = inProcessDecoding();
    const picture::Picture picture = loadedPicture(gif, size, decoding);
    QVERIFY(picture.isAnimated());
    picture::Animation animation(picture);
    QSignalSpy frames(&animation, &picture::Animation::frameChanged);
    QTRY_VERIFY(frames.size() >= 3);
    QCOMPARE(frames.at(0).at(0).value<QImage>().pixel(4, 4), kRed);
    QCOMPARE(frames.at(1).at(0).value<QImage>().pixel(4, 4), kBlue);
    QCOMPARE(frames.at(2).at(0).value<QImage>().pixel(4, 4), kRed);
    // The picture's own decode, then its frames, past the last one, and round again.
    QCOMPARE(decoding->calls.mid(0, 5),
             QStringList({QStringLiteral("decode 8x8"), QStringLiteral("frame 1 #0"),
                          QStringLiteral("frame 1 #1"), QStringLiteral("frame 1 #2"),
                          QStringLiteral("frame 1 #0")}));
}

void TestPictureDecoding::builtInPictureAsksNoService()
{
    const picture::Picture splash = picture::splashPicture(96.0);
    QVERIFY(!splash.source().decoding);
    QCOMPARE(kavelora::tests::resultOf(splash.decodeForSize(splash.ownSize() * 2)),
             splash.screenImage());
}

// The helper-backed service hands failures back through the future, as any service does.
void TestPictureDecoding::helperFailureComesThroughTheFuture()
{
    picture::HelperDecoding decoding(std::make_unique<picture::SpawningLauncher>(
        QStringLiteral("/nonexistent/kavelora-decoder")));
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = writeFixture(folder.path(), QStringLiteral("any.png"),
                                      encoded(twoHalves(QSize(4, 4), kRed, kBlue), "PNG"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot start")));
    const QFuture<DecodeResult> future =
        decoding.decode(std::make_shared<picture::PictureFile>(path), QSize(4, 4));
    QTRY_VERIFY(future.isFinished());
    QCOMPARE(errorOf(future), static_cast<int>(ErrorNumber::DeviceUnavailable));
}

void TestPictureDecoding::helperServesRequestsInTurn_data()
{
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("cancelled");

    QTest::newRow("one") << 1 << -1;
    QTest::newRow("several asked for at once") << 4 << -1;
    QTest::newRow("one of them cancelled before its turn") << 4 << 2;
}

// Requests made while one is under way wait their turn; each gets its own picture, and one
// cancelled before its turn ends with nothing while the others are served.
void TestPictureDecoding::helperServesRequestsInTurn()
{
    QFETCH(int, requests);
    QFETCH(int, cancelled);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    picture::HelperDecoding decoding;
    QList<QFuture<DecodeResult>> futures;
    for (int request = 0; request < requests; ++request) {
        const QSize size(10 + request, 8);
        const QString path = writeFixture(folder.path(), QStringLiteral("%1.png").arg(request),
                                          encoded(twoHalves(size, kRed, kBlue), "PNG"));
        futures << decoding.decode(std::make_shared<picture::PictureFile>(path), size);
    }
    QVERIFY(!futures.constFirst().isFinished());
    if (cancelled >= 0)
        futures[cancelled].cancel();
    for (int request = 0; request < requests; ++request) {
        QTRY_VERIFY(futures[request].isFinished());
        if (request == cancelled) {
            QCOMPARE(futures[request].resultCount(), 0);
            continue;
        }
        const DecodeResult decoded = resultOf(futures[request]);
        QCOMPARE(decoded.ownSize, QSize(10 + request, 8));
        QCOMPARE(decoded.image.pixel(0, 0), kRed);
    }
}

// Closing the window drops the service with requests still waiting: each ends, cancelled,
// and nothing waits for the helper.
void TestPictureDecoding::requestsLeftWhenTheServiceGoesEndCancelled()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = writeFixture(folder.path(), QStringLiteral("any.png"),
                                      encoded(twoHalves(QSize(64, 64), kRed, kBlue), "PNG"));
    QList<QFuture<DecodeResult>> futures;
    {
        picture::HelperDecoding decoding;
        for (int request = 0; request < 3; ++request)
            futures << decoding.decode(std::make_shared<picture::PictureFile>(path), QSize(8, 8));
    }
    for (const QFuture<DecodeResult>& future : futures) {
        QVERIFY(future.isFinished());
        QVERIFY(future.isCanceled());
        QCOMPARE(errorOf(future), static_cast<int>(ErrorNumber::DeviceUnavailable));
    }
}

// Frames that come later than their turn are not waited for: one that comes when the next
// is due already is skipped, though never two in a row, so the picture keeps moving.
void TestPictureDecoding::lateAnimationFrameIsSkippedNeverTwiceInARow()
{
    const QSize size(8, 8);
    const QList<QRgb> colours{kRed, kBlue, qRgb(0, 255, 0), qRgb(255, 255, 0)};
    QList<QByteArray> frames;
    for (int index = 0; index < colours.size(); ++index)
        frames << QByteArray(64, static_cast<char>(index));
    const auto decoding = inProcessDecoding();
    const picture::Picture picture =
        loadedPicture(gifFile(size, colours, frames, 2), size, decoding);
    // Each frame asks for 20 ms and takes 50 ms to come.
    decoding->deliveryDelayMs = 50;
    picture::Animation animation(picture);
    QSignalSpy shown(&animation, &picture::Animation::frameChanged);
    QTRY_VERIFY_WITH_TIMEOUT(shown.size() >= 8, 10000);
    QList<int> order;
    for (const QList<QVariant>& frame : shown)
        order << static_cast<int>(colours.indexOf(frame.at(0).value<QImage>().pixel(4, 4)));
    const QByteArray text = QByteArray::number(order.size()) + " frames";
    QCOMPARE(order.constFirst(), 0);
    int skipped = 0;
    for (int index = 1; index < order.size(); ++index) {
        const qsizetype step = (order[index] - order[index - 1] + colours.size()) % colours.size();
        QVERIFY2(step == 1 || step == 2, text.constData());
        skipped += step == 2 ? 1 : 0;
    }
    QVERIFY2(skipped > 0, text.constData());
}

QTEST_MAIN(TestPictureDecoding)
#include "tst_picture_decoding.moc"
