// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kavelora::decoder {

// Rows of a picture made by a producer (inflating, decoding) on a thread of its own, a few
// bands ahead of the caller who consumes them in order: the two halves of a decode then run
// side by side. A band is up to 16 rows, fewer where rows are long, and the ring holds four,
// so it stays within about 1 MiB. Without a second thread, and for a picture of one band, each
// band is made when its first row is asked for. The producer's exceptions reach the caller;
// a ring destroyed early stops its producer after the band it is making.
class RowRing
{
public:
    // Fills count rows of the ring's rowBytes each, the next ones in order, at rows. False
    // stops the producer: the rows from this band on are never given.
    using FillRows = std::function<bool(uchar* rows, int count)>;
    // Runs on the producer's side once every row is filled: the checks after the last row.
    using Finish = std::function<bool()>;
    enum class Threading { WhenWorthIt, Never };

    RowRing(std::size_t rowBytes, int rowCount, FillRows fill, Finish finish = {},
            Threading threading = Threading::WhenWorthIt);
    ~RowRing();

    RowRing(const RowRing&) = delete;
    RowRing& operator=(const RowRing&) = delete;

    // Row y, rowBytes long, which the caller may change in place; null when filling failed at
    // or before its band. Rows are asked for in order, each once; row y - 1 stays as it was
    // left until row y + 1 is asked for. Rethrows what the producer raised.
    uchar* row(int y);
    // After the last row: waits for the finish; false when it or a fill failed. Rethrows
    // what the producer raised.
    bool finished();

private:
    void produce();
    int rowsIn(int band) const;
    uchar* bandStart(int band);
    // Under the lock, once the producer failed: rethrows what it raised, if anything.
    void rethrowProducerError() const;

    const std::size_t m_rowBytes;
    const int m_rowCount;
    const int m_bandRows;
    const int m_bandCount;
    std::vector<uchar> m_rows;
    const FillRows m_fill;
    const Finish m_finish;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Bands ready for the caller; one more than the band count once finished.
    int m_readyBands = 0;
    // The first band the caller still holds; the producer may fill no further than the
    // ring's size past it.
    int m_heldFrom = 0;
    bool m_failed = false;
    bool m_stopping = false;
    std::exception_ptr m_error;
    std::thread m_thread;
};

} // namespace kavelora::decoder
