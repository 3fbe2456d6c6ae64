// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// The budget the JPEG XL decoder allocates through: what is still held counts against it.

#include "decoder/common/codec_memory_budget.h"

#include <QTest>

#include <cstdint>
#include <vector>

using kavelora::decoder::CodecMemoryBudget;

class TstCodecMemoryBudget : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each step allocates that many bytes, or, when it is -k, releases the k-th allocation;
    // granted lists, for each allocation, whether it is handed out.
    void keepsTheLiveTotalWithinTheBudget_data()
    {
        QTest::addColumn<qint64>("budget");
        QTest::addColumn<QList<qint64>>("steps");
        QTest::addColumn<QList<bool>>("granted");
        QTest::addColumn<qint64>("inUseAfter");
        QTest::newRow("one block within the budget")
            << qint64(100) << QList<qint64>{60} << QList<bool>{true} << qint64(60);
        QTest::newRow("one block exactly filling the budget")
            << qint64(100) << QList<qint64>{100} << QList<bool>{true} << qint64(100);
        QTest::newRow("one block a byte past the budget")
            << qint64(100) << QList<qint64>{101} << QList<bool>{false} << qint64(0);
        QTest::newRow("blocks each below the budget, adding up past it")
            << qint64(100) << QList<qint64>{60, 30, 20} << QList<bool>{true, true, false}
            << qint64(90);
        QTest::newRow("a released block makes room again")
            << qint64(100) << QList<qint64>{60, -1, 60} << QList<bool>{true, true} << qint64(60);
    }

    void keepsTheLiveTotalWithinTheBudget()
    {
        QFETCH(qint64, budget);
        QFETCH(QList<qint64>, steps);
        QFETCH(QList<bool>, granted);
        QFETCH(qint64, inUseAfter);
        CodecMemoryBudget memory(budget);
        std::vector<void*> blocks;
        QList<bool> handedOut;
        bool refused = false;
        for (const qint64 step : steps) {
            if (step < 0) {
                void*& released = blocks.at(static_cast<std::size_t>(-step - 1));
                memory.release(released);
                released = nullptr;
                continue;
            }
            blocks.push_back(memory.allocate(static_cast<std::size_t>(step)));
            handedOut.append(blocks.back() != nullptr);
            refused = refused || blocks.back() == nullptr;
        }
        const qint64 inUse = memory.inUseBytes();
        const bool exhausted = memory.exhausted();
        for (void* block : blocks)
            memory.release(block);
        QCOMPARE(handedOut, granted);
        QCOMPARE(inUse, inUseAfter);
        QCOMPARE(exhausted, refused);
        QCOMPARE(memory.inUseBytes(), qint64(0));
    }

    // A size whose header would wrap around is refused, not allocated short.
    void refusesABlockNoSizeCanHold()
    {
        CodecMemoryBudget memory(INT64_MAX);
        QCOMPARE(memory.allocate(SIZE_MAX), nullptr);
        QVERIFY(memory.exhausted());
        QCOMPARE(memory.inUseBytes(), qint64(0));
    }
};

QTEST_APPLESS_MAIN(TstCodecMemoryBudget)
#include "tst_codec_memory_budget.moc"
