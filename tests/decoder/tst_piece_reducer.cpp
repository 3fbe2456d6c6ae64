// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The reducer that takes pieces of rows in any order, from several threads: whatever the
// order and the length of the pieces, it gives exactly AreaReducer's copy of the same rows.

#include "decoder/common/area_reducer.h"
#include "decoder/common/piece_reducer.h"
#include "seeded_random.h"

#include <QTest>

#include <algorithm>
#include <thread>

using namespace kavelora;
using kavelora::tests::SeededRandom;

namespace {

struct Piece
{
    int x;
    int y;
    int count;
};

QImage randomPicture(QSize size, bool alpha, std::uint64_t seed)
{
    SeededRandom random(seed);
    QImage picture(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = alpha ? random.next() : random.next() | 0xFF000000u;
    }
    return picture;
}

QImage::Format targetFormat(bool alpha, int factor)
{
    if (!alpha)
        return QImage::Format_RGB32;
    return factor > 1 ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32;
}

// Every row cut into pieces of pieceLength (the last of a row shorter), shuffled.
std::vector<Piece> shuffledPieces(QSize size, int pieceLength, std::uint64_t seed)
{
    std::vector<Piece> pieces;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); x += pieceLength)
            pieces.push_back({x, y, std::min(pieceLength, size.width() - x)});
    }
    SeededRandom random(seed);
    for (std::size_t i = pieces.size(); i > 1; --i)
        std::swap(pieces[i - 1], pieces[random.bounded(static_cast<std::uint32_t>(i))]);
    return pieces;
}

QImage areaReduced(const QImage& picture, int factor, QImage::Format format)
{
    QImage target(decoder::reducedSize(picture.size(), factor), format);
    decoder::AreaReducer reducer(target, picture.height(), factor);
    for (int y = 0; y < picture.height(); ++y)
        reducer.addRow(reinterpret_cast<const QRgb*>(picture.constScanLine(y)), picture.width());
    return target;
}

} // namespace

class TstPieceReducer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void shuffledPiecesGiveTheAreaReducersCopy_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("factor");
        QTest::addColumn<bool>("alpha");
        QTest::addColumn<int>("pieceLength");
        QTest::addColumn<int>("threads");
        QTest::newRow("opaque, whole blocks") << QSize(64, 48) << 4 << false << 16 << 1;
        QTest::newRow("opaque, odd sides leave part blocks")
            << QSize(101, 77) << 3 << false << 13 << 1;
        QTest::newRow("alpha averaged by alpha") << QSize(97, 61) << 5 << true << 7 << 1;
        QTest::newRow("pieces of one pixel") << QSize(31, 29) << 2 << true << 1 << 1;
        QTest::newRow("pieces longer than a row") << QSize(40, 33) << 6 << false << 500 << 1;
        QTest::newRow("factor 1 copies, opaque") << QSize(23, 19) << 1 << false << 5 << 1;
        QTest::newRow("factor 1 copies, alpha kept apart") << QSize(23, 19) << 1 << true << 4 << 1;
        QTest::newRow("the largest factor") << QSize(130, 129) << 64 << true << 9 << 1;
        QTest::newRow("a picture shorter than a block") << QSize(50, 1) << 4 << false << 8 << 1;
        QTest::newRow("from two threads") << QSize(517, 389) << 3 << true << 32 << 2;
        QTest::newRow("from four threads, opaque") << QSize(300, 211) << 7 << false << 19 << 4;
    }
    void shuffledPiecesGiveTheAreaReducersCopy()
    {
        QFETCH(QSize, size);
        QFETCH(int, factor);
        QFETCH(bool, alpha);
        QFETCH(int, pieceLength);
        QFETCH(int, threads);
        const QImage picture = randomPicture(size, alpha, 7);
        const QImage::Format format = targetFormat(alpha, factor);
        QImage target(decoder::reducedSize(size, factor), format);
        target.fill(0x12345678u);
        decoder::PieceReducer reducer(target, size, factor);
        const std::vector<Piece> pieces = shuffledPieces(size, pieceLength, 11);
        const auto feed = [&](std::size_t first) {
            for (std::size_t i = first; i < pieces.size(); i += static_cast<std::size_t>(threads)) {
                const Piece& piece = pieces[i];
                const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(piece.y));
                reducer.addPiece(piece.x, piece.y, line + piece.x, piece.count);
            }
        };
        std::vector<std::thread> workers;
        for (int thread = 0; thread < threads; ++thread)
            workers.emplace_back(feed, static_cast<std::size_t>(thread));
        for (std::thread& worker : workers)
            worker.join();
        const QImage expected =
            factor == 1 ? picture.convertToFormat(format) : areaReduced(picture, factor, format);
        QCOMPARE(target, expected);
    }

    // A decoder's stray piece past the picture's edge writes nothing outside the target.
    void piecesOutsideTheSourceAreIgnored_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("count");
        QTest::newRow("below the last row") << 0 << 8 << 8;
        QTest::newRow("above the first row") << 0 << -1 << 8;
        QTest::newRow("right of the last column") << 8 << 0 << 4;
        QTest::newRow("left of the first column") << -3 << 0 << 4;
        QTest::newRow("no pixels") << 0 << 0 << 0;
    }
    void piecesOutsideTheSourceAreIgnored()
    {
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, count);
        for (int factor : {1, 2}) {
            QImage target(decoder::reducedSize(QSize(8, 8), factor), QImage::Format_RGB32);
            target.fill(0xFF000000u);
            const QImage before = target;
            decoder::PieceReducer reducer(target, QSize(8, 8), factor);
            const std::vector<QRgb> white(16, 0xFFFFFFFFu);
            reducer.addPiece(x, y, white.data(), count);
            QCOMPARE(target, before);
        }
    }

    // A decoder that stops short leaves rows unwritten; the caller must be able to tell.
    void completeOnlyWhenEveryPixelCame_data()
    {
        QTest::addColumn<int>("factor");
        QTest::addColumn<int>("piecesLeftOut");
        QTest::addColumn<bool>("complete");
        QTest::newRow("every piece, reduced") << 3 << 0 << true;
        QTest::newRow("every piece, copied") << 1 << 0 << true;
        QTest::newRow("one piece short, reduced") << 3 << 1 << false;
        QTest::newRow("one piece short, copied") << 1 << 1 << false;
        QTest::newRow("nothing came") << 2 << -1 << false;
    }
    void completeOnlyWhenEveryPixelCame()
    {
        QFETCH(int, factor);
        QFETCH(int, piecesLeftOut);
        QFETCH(bool, complete);
        const QSize size(37, 23);
        const QImage picture = randomPicture(size, false, 5);
        QImage target(decoder::reducedSize(size, factor), QImage::Format_RGB32);
        decoder::PieceReducer reducer(target, size, factor);
        const std::vector<Piece> pieces = shuffledPieces(size, 10, 3);
        const std::size_t fed =
            piecesLeftOut < 0 ? 0 : pieces.size() - static_cast<std::size_t>(piecesLeftOut);
        for (std::size_t i = 0; i < fed; ++i) {
            const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(pieces[i].y));
            reducer.addPiece(pieces[i].x, pieces[i].y, line + pieces[i].x, pieces[i].count);
        }
        QCOMPARE(reducer.complete(), complete);
    }

    // A piece running past the right edge is cut there, so the rest of its row still counts.
    void aPieceRunningPastTheEdgeIsCut()
    {
        const QImage picture = randomPicture(QSize(10, 4), false, 3);
        QImage target(QSize(5, 2), QImage::Format_RGB32);
        decoder::PieceReducer reducer(target, picture.size(), 2);
        std::vector<QRgb> longer(14, 0xFFFFFFFFu);
        for (int y = 0; y < picture.height(); ++y) {
            std::copy_n(reinterpret_cast<const QRgb*>(picture.constScanLine(y)), 10,
                        longer.begin());
            reducer.addPiece(0, y, longer.data(), 14);
        }
        QVERIFY(reducer.complete());
        QCOMPARE(target, areaReduced(picture, 2, QImage::Format_RGB32));
    }
};

QTEST_APPLESS_MAIN(TstPieceReducer)
#include "tst_piece_reducer.moc"
