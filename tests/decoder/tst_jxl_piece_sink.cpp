// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The sink libjxl's threads hand float pieces to: each value rounded to the picture's depth
// as libjxl rounds, values a broken file gives outside 0 to 1 (or NaN) clamped, and the piece
// placed where libjxl says.

#include "decoder/formats/jxl/jxl_piece_sink.h"

#include <QTest>

#include <limits>

using namespace kavelora::decoder;

class TstJxlPieceSink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundsAndClampsEachValue_data()
    {
        QTest::addColumn<int>("bitsPerSample");
        QTest::addColumn<float>("value");
        QTest::addColumn<int>("expected");
        const float nan = std::numeric_limits<float>::quiet_NaN();
        QTest::newRow("8-bit black") << 8 << 0.0f << 0;
        QTest::newRow("8-bit white") << 8 << 1.0f << 255;
        QTest::newRow("8-bit half rounds up") << 8 << 0.5f << 128;
        QTest::newRow("8-bit just under a half step") << 8 << 100.49f / 255 << 100;
        QTest::newRow("8-bit just over a half step") << 8 << 100.51f / 255 << 101;
        QTest::newRow("below black is black") << 8 << -0.25f << 0;
        QTest::newRow("above white is white") << 8 << 7.0f << 255;
        QTest::newRow("NaN is black") << 8 << nan << 0;
        // 16-bit samples are narrowed to the word's 8 bits once, by SrgbRows.
        QTest::newRow("16-bit white") << 16 << 1.0f << 255;
        QTest::newRow("16-bit mid grey") << 16 << 0.5f << 128;
        QTest::newRow("16-bit above white") << 16 << 1.5f << 255;
        QTest::newRow("16-bit NaN") << 16 << nan << 0;
    }
    void roundsAndClampsEachValue()
    {
        QFETCH(int, bitsPerSample);
        QFETCH(float, value);
        QFETCH(int, expected);
        QImage target(QSize(4, 2), QImage::Format_RGB32);
        target.fill(0u);
        const SrgbRows rows(CodecColour{}, 3, bitsPerSample);
        PieceReducer reducer(target, target.size(), 1);
        JxlPieceSink sink(rows, reducer, 3, bitsPerSample);
        QCOMPARE(JxlPieceSink::init(&sink, 1, 4), &sink);
        // Red carries the value; green and blue tell the channels apart.
        const float piece[] = {value, 0.0f, 1.0f, value, 0.0f, 1.0f};
        JxlPieceSink::run(&sink, 0, 2, 1, 2, piece);
        QCOMPARE(target.pixel(2, 1), qRgb(expected, 0, 255));
        QCOMPARE(target.pixel(3, 1), qRgb(expected, 0, 255));
        QCOMPARE(target.pixel(1, 1), qRgb(0, 0, 0));
    }

    // Each thread libjxl starts has a scratch of its own, as long as libjxl's pieces.
    void eachThreadConvertsInItsOwnScratch()
    {
        QImage target(QSize(3, 2), QImage::Format_ARGB32);
        target.fill(0u);
        const SrgbRows rows(CodecColour{}, 4, 8);
        PieceReducer reducer(target, target.size(), 1);
        JxlPieceSink sink(rows, reducer, 4, 8);
        QCOMPARE(JxlPieceSink::init(&sink, 2, 3), &sink);
        const float top[] = {1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1};
        const float bottom[] = {0, 0, 1, 0.5f, 0, 0, 1, 0.5f, 0, 0, 1, 0.5f};
        JxlPieceSink::run(&sink, 1, 0, 1, 3, bottom);
        JxlPieceSink::run(&sink, 0, 0, 0, 3, top);
        for (int x = 0; x < 3; ++x) {
            QCOMPARE(target.pixel(x, 0), qRgba(255, 0, 0, 255));
            QCOMPARE(target.pixel(x, 1), qRgba(0, 0, 255, 128));
        }
    }
};

QTEST_APPLESS_MAIN(TstJxlPieceSink)
#include "tst_jxl_piece_sink.moc"
