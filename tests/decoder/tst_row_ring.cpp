// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The ring a decoder's producer fills rows into ahead of the consumer: rows arrive in order
// and whole, the row before stays as the consumer left it, the producer's failures and
// exceptions reach the consumer, and a consumer stopping early neither hangs nor lets the
// producer run past the ring. Each case on a thread and serially.

#include "decoder/common/row_ring.h"

#include <QTest>

#include <atomic>
#include <stdexcept>

using kavelora::decoder::RowRing;

namespace {

uchar patternByte(int row, std::size_t at)
{
    return static_cast<uchar>((static_cast<std::size_t>(row) * 7 + at) & 0xFF);
}

bool rowHasPattern(const uchar* row, int y, std::size_t rowBytes)
{
    // The first byte is the consumer's mark; the rest is what the producer wrote.
    for (std::size_t at = 1; at < rowBytes; ++at) {
        if (row[at] != patternByte(y, at))
            return false;
    }
    return true;
}

// Fills rows with a pattern of their number, failing or raising at a given row.
struct ScriptedFill
{
    std::size_t rowBytes = 0;
    int failAtRow = -1;
    int throwAtRow = -1;
    int nextRow = 0;
    std::atomic<int> filledRows = 0;

    bool operator()(uchar* rows, int count)
    {
        for (int i = 0; i < count; ++i, ++nextRow, rows += rowBytes) {
            if (nextRow == throwAtRow)
                throw std::runtime_error("producer failed");
            if (nextRow == failAtRow)
                return false;
            for (std::size_t at = 0; at < rowBytes; ++at)
                rows[at] = patternByte(nextRow, at);
            ++filledRows;
        }
        return true;
    }
};

RowRing::Threading threadingOf(bool serial)
{
    return serial ? RowRing::Threading::Never : RowRing::Threading::WhenWorthIt;
}

} // namespace

class TstRowRing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deliversRowsInOrder_data()
    {
        QTest::addColumn<qint64>("rowBytes");
        QTest::addColumn<int>("rowCount");
        QTest::addColumn<bool>("serial");
        QTest::addColumn<int>("failAtRow");
        QTest::addColumn<bool>("finishPasses");
        QTest::addColumn<int>("rowsGiven");
        QTest::addColumn<bool>("finished");

        for (const bool serial : {false, true}) {
            const QByteArray how = serial ? ", serially" : ", on a thread";
            QTest::newRow("many short rows" + how)
                << qint64(1000) << 300 << serial << -1 << true << 300 << true;
            QTest::newRow("rows longer than a band" + how)
                << qint64(300'000) << 9 << serial << -1 << true << 9 << true;
            QTest::newRow("one row" + how) << qint64(3) << 1 << serial << -1 << true << 1 << true;
            QTest::newRow("last band partly filled" + how)
                << qint64(100) << 16 * 5 + 3 << serial << -1 << true << 16 * 5 + 3 << true;
            QTest::newRow("fill failing in the third band" + how)
                << qint64(1000) << 300 << serial << 40 << true << 32 << false;
            QTest::newRow("fill failing at the first row" + how)
                << qint64(1000) << 300 << serial << 0 << true << 0 << false;
            QTest::newRow("finish failing after every row" + how)
                << qint64(1000) << 300 << serial << -1 << false << 300 << false;
        }
    }

    void deliversRowsInOrder()
    {
        QFETCH(qint64, rowBytes);
        QFETCH(int, rowCount);
        QFETCH(bool, serial);
        QFETCH(int, failAtRow);
        QFETCH(bool, finishPasses);
        QFETCH(int, rowsGiven);
        QFETCH(bool, finished);
        const auto bytes = static_cast<std::size_t>(rowBytes);
        ScriptedFill fill{bytes, failAtRow};
        bool finishRan = false;
        RowRing ring(
            bytes, rowCount, [&](uchar* rows, int count) { return fill(rows, count); },
            [&] {
                finishRan = true;
                return finishPasses;
            },
            threadingOf(serial));
        uchar* previous = nullptr;
        int given = 0;
        for (int y = 0; y < rowCount; ++y) {
            uchar* row = ring.row(y);
            if (!row)
                break;
            QVERIFY2(rowHasPattern(row, y, bytes), qPrintable(QString::number(y)));
            // The consumer's change to the row before must still be there.
            if (previous)
                QCOMPARE(previous[0], uchar(0xA5));
            row[0] = 0xA5;
            previous = row;
            ++given;
        }
        QCOMPARE(given, rowsGiven);
        QCOMPARE(ring.finished(), finished);
        QCOMPARE(finishRan, failAtRow < 0);
    }

    void carriesProducerExceptions_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<int>("throwAtRow");
        QTest::newRow("on a thread, in the third band") << false << 40;
        QTest::newRow("serially, in the third band") << true << 40;
        QTest::newRow("on a thread, at the first row") << false << 0;
    }

    void carriesProducerExceptions()
    {
        QFETCH(bool, serial);
        QFETCH(int, throwAtRow);
        ScriptedFill fill{100, -1, throwAtRow};
        RowRing ring(
            100, 200, [&](uchar* rows, int count) { return fill(rows, count); }, {},
            threadingOf(serial));
        int given = 0;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, {
            for (int y = 0; y < 200; ++y, ++given)
                ring.row(y);
        });
        QVERIFY(given <= throwAtRow);
        QVERIFY(given >= throwAtRow / 16 * 16);
    }

    // The producer keeps within the ring while the consumer dawdles, and stops when the ring
    // goes, whether it was waiting for room or filling.
    void stopsWhenConsumerStopsEarly_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<int>("rowsTaken");
        QTest::newRow("on a thread, before the first row") << false << 0;
        QTest::newRow("on a thread, inside the second band") << false << 20;
        QTest::newRow("on a thread, most rows taken") << false << 9000;
        QTest::newRow("serially, inside the second band") << true << 20;
    }

    void stopsWhenConsumerStopsEarly()
    {
        QFETCH(bool, serial);
        QFETCH(int, rowsTaken);
        constexpr int kRowCount = 10'000;
        constexpr int kBandRows = 16;
        ScriptedFill fill{64};
        {
            RowRing ring(
                64, kRowCount, [&](uchar* rows, int count) { return fill(rows, count); }, {},
                threadingOf(serial));
            for (int y = 0; y < rowsTaken; ++y)
                QVERIFY(ring.row(y));
        }
        // At most the bands the consumer held and the ring's four ahead of them.
        QVERIFY2(fill.filledRows <= rowsTaken + 5 * kBandRows,
                 qPrintable(QString::number(fill.filledRows)));
        QVERIFY(fill.filledRows >= rowsTaken);
        QVERIFY(fill.filledRows < kRowCount);
    }
};

QTEST_APPLESS_MAIN(TstRowRing)
#include "tst_row_ring.moc"
