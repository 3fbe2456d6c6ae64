// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/common/row_ring.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace kavelora::decoder {

namespace {

constexpr int kMaxBandRows = 16;
constexpr std::size_t kBandBytes = 256 * 1024;
// The caller holds two bands (the one it works on and the one above its first row); the
// producer fills the rest.
constexpr int kBandSlots = 4;

} // namespace

RowRing::RowRing(std::size_t rowBytes, int rowCount, FillRows fill, Finish finish,
                 Threading threading)
    : m_rowBytes(std::max<std::size_t>(rowBytes, 1))
    , m_rowCount(std::max(rowCount, 0))
    , m_bandRows(static_cast<int>(
          std::clamp<std::size_t>(kBandBytes / m_rowBytes, 1, std::size_t{kMaxBandRows})))
    , m_bandCount((m_rowCount + m_bandRows - 1) / m_bandRows)
    , m_rows(m_rowBytes * static_cast<std::size_t>(m_bandRows * std::min(kBandSlots, m_bandCount)))
    , m_fill(std::move(fill))
    , m_finish(std::move(finish))
{
    // One band gains nothing from a thread, whose start costs more than a small band takes.
    if (threading == Threading::Never || m_bandCount < 2)
        return;
    try {
        m_thread = std::thread([this] { produce(); });
    } catch (const std::system_error&) {
        // Each band is then filled when its first row is asked for.
    }
}

RowRing::~RowRing()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

uchar* RowRing::row(int y)
{
    if (y < 0 || y >= m_rowCount)
        return nullptr;
    const int band = y / m_bandRows;
    uchar* const row = bandStart(band) + static_cast<std::size_t>(y % m_bandRows) * m_rowBytes;
    if (!m_thread.joinable()) {
        if (y % m_bandRows == 0 && !m_failed)
            m_failed = !m_fill(bandStart(band), rowsIn(band));
        return m_failed ? nullptr : row;
    }
    // Every band before the one holding row y - 1 is handed back.
    const int heldFrom = y == 0 ? 0 : (y - 1) / m_bandRows;
    std::unique_lock lock(m_mutex);
    if (heldFrom > m_heldFrom) {
        m_heldFrom = heldFrom;
        m_changed.notify_all();
    }
    m_changed.wait(lock, [&] { return m_readyBands > band || m_failed; });
    if (m_readyBands > band)
        return row;
    rethrowProducerError();
    return nullptr;
}

bool RowRing::finished()
{
    if (!m_thread.joinable()) {
        if (!m_failed)
            m_failed = m_finish && !m_finish();
        return !m_failed;
    }
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_readyBands > m_bandCount || m_failed; });
    rethrowProducerError();
    return !m_failed;
}

void RowRing::produce()
{
    const auto publish = [&](bool filled, int readyBands) {
        {
            const std::lock_guard lock(m_mutex);
            if (filled)
                m_readyBands = readyBands;
            m_failed = !filled;
        }
        m_changed.notify_all();
        return filled;
    };
    try {
        for (int band = 0; band < m_bandCount; ++band) {
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_stopping || band - m_heldFrom < kBandSlots; });
                if (m_stopping)
                    return;
            }
            if (!publish(m_fill(bandStart(band), rowsIn(band)), band + 1))
                return;
        }
        publish(!m_finish || m_finish(), m_bandCount + 1);
    } catch (...) {
        {
            const std::lock_guard lock(m_mutex);
            m_error = std::current_exception();
            m_failed = true;
        }
        m_changed.notify_all();
    }
}

int RowRing::rowsIn(int band) const
{
    return std::min(m_bandRows, m_rowCount - band * m_bandRows);
}

uchar* RowRing::bandStart(int band)
{
    return m_rows.data() + static_cast<std::size_t>(band % kBandSlots * m_bandRows) * m_rowBytes;
}

void RowRing::rethrowProducerError() const
{
    if (m_error)
        std::rethrow_exception(m_error);
}

} // namespace kavelora::decoder
