// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The helpers every test leans on: a wrong answer here would let other tests pass wrongly.

#include "flat_jpeg.h"
#include "modal_driver.h"
#include "page_measures.h"
#include "picture_fixtures.h"
#include "seeded_random.h"
#include "test_files.h"
#include "wait_until.h"

#include <QApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <set>

namespace kavelora::tests {

class TestTestSupport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void waitUntilSeesWhatEventsChange();
    void waitUntilGivesUpAndLooksOnceMoreAtTheDeadline();
    void sameSeedSameNumbers();
    void boundedStaysBelowItsBound();
    void twoHalvesSplitsAtHalfTheWidth_data();
    void twoHalvesSplitsAtHalfTheWidth();
    void colourNearComparesEachChannel_data();
    void colourNearComparesEachChannel();
    void writeFileReplacesTheWholeFile();
    void writeFileReportsFailure();
    void fixturesAreWrittenWhereTheyAreNamedAndReadBack();
    void noisePictureIsOpaqueVariedAndReproducible();
    void flatGreyJpegDecodesToMidGrey_data();
    void flatGreyJpegDecodesToMidGrey();
    void modalDriverAnswersEveryDialogOfItsKind();
    void modalDriverRejectsWhatIsLeftOpen_data();
    void modalDriverRejectsWhatIsLeftOpen();
    void errorMessageCatcherClosesOnlyRunTimeErrorMessages();
    void queuePageAgreesWithItsMarginInMillimetres();
    void nearMillimetresHoldsUpToTheTolerance();
};

void TestTestSupport::waitUntilSeesWhatEventsChange()
{
    bool flag = false;
    QTimer::singleShot(30, [&flag] { flag = true; });
    QVERIFY(waitUntil([&flag] { return flag; }, 5000));

    int asked = 0;
    QVERIFY(waitUntil([&asked] { return ++asked > 0; }, 5000));
    QCOMPARE(asked, 1);
}

void TestTestSupport::waitUntilGivesUpAndLooksOnceMoreAtTheDeadline()
{
    int asked = 0;
    QVERIFY(!waitUntil([&asked] { return ++asked < 0; }, 0));
    QCOMPARE(asked, 1);
    asked = 0;
    QVERIFY(!waitUntil([&asked] { return ++asked < 0; }, 60, 20));
    QVERIFY2(asked >= 2, qPrintable(QString::number(asked)));
}

void TestTestSupport::sameSeedSameNumbers()
{
    for (std::uint64_t seed : {0ull, 1ull, 1000ull}) {
        SeededRandom first(seed);
        SeededRandom second(seed);
        QCOMPARE(first.bytes(64), second.bytes(64));
        std::set<std::uint32_t> values;
        for (int i = 0; i < 100; ++i) {
            const std::uint32_t value = first.next();
            QCOMPARE(value, second.next());
            values.insert(value);
        }
        // A zero state would give zeros for ever; every seed must give varied numbers.
        QVERIFY2(values.size() > 90, qPrintable(QString::number(seed)));
    }
    QVERIFY(SeededRandom(1).bytes(32) != SeededRandom(2).bytes(32));
    QCOMPARE(SeededRandom(7).bytes(1000).size(), 1000);
    QVERIFY(SeededRandom(7).bytes(0).isEmpty());
}

void TestTestSupport::boundedStaysBelowItsBound()
{
    SeededRandom random(8);
    std::set<std::uint32_t> seen;
    for (int i = 0; i < 2000; ++i) {
        const std::uint32_t value = random.bounded(7);
        QVERIFY(value < 7);
        seen.insert(value);
    }
    QCOMPARE(seen.size(), std::size_t(7));
    QCOMPARE(random.bounded(1), 0u);
}

void TestTestSupport::twoHalvesSplitsAtHalfTheWidth_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QImage::Format>("format");
    QTest::newRow("even width") << QSize(120, 90) << QImage::Format_RGB32;
    QTest::newRow("odd width gives the right half the extra column")
        << QSize(5, 3) << QImage::Format_RGB32;
    QTest::newRow("with alpha") << QSize(40, 40) << QImage::Format_ARGB32;
    QTest::newRow("packed three bytes a pixel") << QSize(400, 300) << QImage::Format_RGB888;
}

void TestTestSupport::twoHalvesSplitsAtHalfTheWidth()
{
    QFETCH(QSize, size);
    QFETCH(QImage::Format, format);
    const QRgb left = qRgb(255, 0, 0);
    const QRgb right = qRgb(0, 0, 255);
    const QImage image = twoHalves(size, left, right, format);
    QCOMPARE(image.size(), size);
    QCOMPARE(image.format(), format);
    const int middle = size.width() / 2;
    for (int y : {0, size.height() - 1}) {
        QCOMPARE(image.pixel(0, y), left);
        QCOMPARE(image.pixel(middle - 1, y), left);
        QCOMPARE(image.pixel(middle, y), right);
        QCOMPARE(image.pixel(size.width() - 1, y), right);
    }
}

void TestTestSupport::colourNearComparesEachChannel_data()
{
    QTest::addColumn<QRgb>("actual");
    QTest::addColumn<int>("tolerance");
    QTest::addColumn<bool>("near");
    // Compared with qRgb(100, 150, 200).
    QTest::newRow("same colour, no tolerance") << qRgb(100, 150, 200) << 0 << true;
    QTest::newRow("red one over, no tolerance") << qRgb(101, 150, 200) << 0 << false;
    QTest::newRow("every channel at the tolerance") << qRgb(106, 144, 206) << 6 << true;
    QTest::newRow("red past the tolerance") << qRgb(93, 150, 200) << 6 << false;
    QTest::newRow("green past the tolerance") << qRgb(100, 157, 200) << 6 << false;
    QTest::newRow("blue past the tolerance") << qRgb(100, 150, 193) << 6 << false;
    QTest::newRow("alpha is not a colour") << qRgba(100, 150, 200, 0) << 0 << true;
}

void TestTestSupport::colourNearComparesEachChannel()
{
    QFETCH(QRgb, actual);
    QFETCH(int, tolerance);
    QFETCH(bool, near);
    QCOMPARE(colourNear(actual, qRgb(100, 150, 200), tolerance), near);
}

void TestTestSupport::writeFileReplacesTheWholeFile()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("fixture.dat"));
    QVERIFY(writeFile(path, QByteArray(100, 'a')));
    QVERIFY(writeFile(path, QByteArrayLiteral("short")));
    QCOMPARE(readFile(path), QByteArrayLiteral("short"));
    QVERIFY(writeFile(path, {}));
    QCOMPARE(QFileInfo(path).size(), 0);
}

void TestTestSupport::writeFileReportsFailure()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QVERIFY(!writeFile(folder.filePath(QStringLiteral("no-such-folder/fixture.dat")), "x"));
    QVERIFY(!writeFile(folder.path(), "x"));
}

void TestTestSupport::fixturesAreWrittenWhereTheyAreNamedAndReadBack()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QByteArray bytes("\x89PNG\r\n\x1A\n\0tail", 13);
    const QString path =
        writeFixture(QDir(folder.path()), QStringLiteral("lying_chunk.png"), bytes);
    QCOMPARE(path, folder.filePath(QStringLiteral("lying_chunk.png")));
    QCOMPARE(readFile(path), bytes);
    QVERIFY(readFile(folder.filePath(QStringLiteral("missing.png"))).isEmpty());
}

void TestTestSupport::noisePictureIsOpaqueVariedAndReproducible()
{
    const QSize size(64, 48);
    const QImage noise = noisePicture(size, 8);
    QCOMPARE(noise.size(), size);
    QCOMPARE(noise, noisePicture(size, 8));
    QVERIFY(noise != noisePicture(size, 9));
    std::set<QRgb> colours;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            QCOMPARE(qAlpha(noise.pixel(x, y)), 255);
            colours.insert(noise.pixel(x, y));
        }
    }
    QVERIFY2(colours.size() > std::size_t(size.width() * size.height() * 9 / 10),
             qPrintable(QString::number(colours.size())));
}

void TestTestSupport::flatGreyJpegDecodesToMidGrey_data()
{
    QTest::addColumn<QSize>("size");
    // 36 bits a 16 x 16 unit: the last byte is padded with ones unless the units fill it.
    QTest::newRow("one unit, padded") << QSize(16, 16);
    QTest::newRow("two units fill nine bytes") << QSize(32, 16);
    QTest::newRow("three units, padded") << QSize(16, 48);
    QTest::newRow("partial units at the edges") << QSize(37, 13);
    QTest::newRow("several rows of units") << QSize(64, 48);
}

void TestTestSupport::flatGreyJpegDecodesToMidGrey()
{
    QFETCH(QSize, size);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("flat.jpg"));
    QVERIFY(writeFlatGreyJpeg(path, size));
    QImageReader reader(path);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            QCOMPARE(image.pixel(x, y), qRgb(128, 128, 128));
    }
}

void TestTestSupport::modalDriverAnswersEveryDialogOfItsKind()
{
    QStringList answered;
    const ModalDriver<QMessageBox> driver(
        [&answered](QMessageBox& box) {
            answered.append(box.text());
            box.done(QMessageBox::Ok);
        },
        ModalDriver<QMessageBox>::Times::Every);
    for (const QString& text : {QStringLiteral("first"), QStringLiteral("second")}) {
        QMessageBox box(QMessageBox::Information, QStringLiteral("title"), text);
        QCOMPARE(box.exec(), int(QMessageBox::Ok));
    }
    QCOMPARE(answered, QStringList({QStringLiteral("first"), QStringLiteral("second")}));
    QCOMPARE(driver.seen(), 2);
}

void TestTestSupport::modalDriverRejectsWhatIsLeftOpen_data()
{
    QTest::addColumn<bool>("ofItsKind");
    QTest::newRow("a stray dialog of another kind") << false;
    QTest::newRow("its own dialog, left open") << true;
}

void TestTestSupport::modalDriverRejectsWhatIsLeftOpen()
{
    QFETCH(bool, ofItsKind);
    int acted = 0;
    const ModalDriver<QMessageBox> driver([&acted](QMessageBox&) { ++acted; },
                                          ModalDriver<QMessageBox>::Times::Once, 50);
    QMessageBox ownKind;
    QDialog otherKind;
    QDialog& shown = ofItsKind ? static_cast<QDialog&>(ownKind) : otherKind;
    shown.exec();
    QCOMPARE(shown.result(), int(QDialog::Rejected));
    QCOMPARE(acted, ofItsKind ? 1 : 0);
    QCOMPARE(driver.seen(), acted);
}

void TestTestSupport::errorMessageCatcherClosesOnlyRunTimeErrorMessages()
{
    const ErrorMessageCatcher catcher;
    QMessageBox other(QMessageBox::Information, QStringLiteral("other title"),
                      QStringLiteral("other"));
    const ModalDriver<QMessageBox> closer([](QMessageBox& box) { box.done(QMessageBox::Ok); },
                                          ModalDriver<QMessageBox>::Times::Once, 200);
    // The closer answers this one: the catcher must neither close nor record it.
    QCOMPARE(other.exec(), int(QMessageBox::Ok));
    QVERIFY(catcher.texts().isEmpty());

    QMessageBox error(QMessageBox::Critical, QStringLiteral("Kavelora"), QStringLiteral("broken"));
    error.setObjectName(QStringLiteral("RuntimeErrorMessage"));
    QCOMPARE(error.exec(), int(QMessageBox::Ok));
    QCOMPARE(catcher.texts(), QStringList{QStringLiteral("broken")});
    QCOMPARE(catcher.titles(), QStringList{QStringLiteral("Kavelora")});
}

void TestTestSupport::queuePageAgreesWithItsMarginInMillimetres()
{
    const QMarginsF margins = queuePageLayout().margins(QPageLayout::Millimeter);
    for (double margin : {margins.left(), margins.top(), margins.right(), margins.bottom()})
        QVERIFY2(qAbs(margin - kQueueMarginMillimetres) < 0.01,
                 qPrintable(QString::number(margin)));
    QCOMPARE(queuePageLayout().pageSize().id(), QPageSize::A4);
    QCOMPARE(queuePageLayout().orientation(), QPageLayout::Portrait);
}

void TestTestSupport::nearMillimetresHoldsUpToTheTolerance()
{
    QVERIFY(nearMillimetres(10.0, 10.0));
    QVERIFY(nearMillimetres(10.0 + kMeasureToleranceMillimetres, 10.0));
    QVERIFY(nearMillimetres(10.0 - kMeasureToleranceMillimetres, 10.0));
    QVERIFY(!nearMillimetres(10.0 + kMeasureToleranceMillimetres * 1.1, 10.0));
    QVERIFY(!nearMillimetres(10.0, 10.0 + kMeasureToleranceMillimetres * 1.1));
}

} // namespace kavelora::tests

QTEST_MAIN(kavelora::tests::TestTestSupport)
#include "tst_test_support.moc"
