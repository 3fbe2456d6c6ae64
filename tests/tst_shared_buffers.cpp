// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/shared_buffers.h"

#include <QTest>

using kavelora::picture::imageIn;
using kavelora::picture::SharedBuffer;
using kavelora::picture::SharedBufferPool;

namespace {

constexpr std::int64_t kMiB = 1024 * 1024;

} // namespace

class TestSharedBuffers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lentBufferStaysLentWhileAnImageUsesIt()
    {
        SharedBufferPool pool;
        std::shared_ptr<SharedBuffer> first = pool.lend(3 * kMiB);
        QVERIFY(first);
        const std::uint32_t firstId = first->id();
        QImage shown = imageIn(first, QSize(1024, 768), 4096, QImage::Format_RGB32);
        first.reset();

        // The picture on screen keeps its pixels: the next decodes get other memory, as long
        // as the image or a copy of it lives.
        const std::shared_ptr<SharedBuffer> second = pool.lend(3 * kMiB);
        QVERIFY(second->id() != firstId);
        QImage copy = shown;
        shown = QImage();
        const std::shared_ptr<SharedBuffer> third = pool.lend(3 * kMiB);
        QVERIFY(third->id() != firstId && third->id() != second->id());

        copy = QImage();
        QCOMPARE(pool.lend(3 * kMiB)->id(), firstId);
    }

    void freeBufferIsReusedAndTheLargestSpareKept_data()
    {
        QTest::addColumn<std::int64_t>("firstBytes");
        QTest::addColumn<std::int64_t>("secondBytes");
        QTest::addColumn<bool>("reused");
        QTest::newRow("same size") << 4 * kMiB << 4 * kMiB << true;
        QTest::newRow("smaller") << 8 * kMiB << 2 * kMiB << true;
        QTest::newRow("larger") << 2 * kMiB << 8 * kMiB << false;
        // Too large to keep as a spare once free.
        QTest::newRow("over the spare's size") << 96 * kMiB << 96 * kMiB << false;
    }

    void freeBufferIsReusedAndTheLargestSpareKept()
    {
        QFETCH(std::int64_t, firstBytes);
        QFETCH(std::int64_t, secondBytes);
        QFETCH(bool, reused);
        SharedBufferPool pool;
        std::uint32_t firstId = 0;
        {
            const std::shared_ptr<SharedBuffer> first = pool.lend(firstBytes);
            QVERIFY(first);
            firstId = first->id();
            const QImage image = imageIn(first, QSize(16, 16), 64, QImage::Format_ARGB32);
            QCOMPARE(image.size(), QSize(16, 16));
        }
        pool.trim();
        const std::shared_ptr<SharedBuffer> second = pool.lend(secondBytes);
        QVERIFY(second);
        QVERIFY(second->bytes() >= secondBytes);
        QCOMPARE(second->id() == firstId, reused);
    }
};

QTEST_APPLESS_MAIN(TestSharedBuffers)
#include "tst_shared_buffers.moc"
