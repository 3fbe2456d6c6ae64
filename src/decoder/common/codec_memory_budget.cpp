// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/common/codec_memory_budget.h"

#include <cstdlib>

namespace kavelora::decoder {

namespace {

// Each block starts with its size, for release to give back.
constexpr std::size_t kHeaderBytes = alignof(std::max_align_t);

} // namespace

void* CodecMemoryBudget::allocate(std::size_t bytes)
{
    // What is already handed out counts: many blocks below the budget may add up past it.
    const qint64 room = m_budgetBytes - m_inUseBytes;
    if (room < 0 || bytes > static_cast<std::size_t>(room) || bytes > SIZE_MAX - kHeaderBytes) {
        m_refused = true;
        return nullptr;
    }
    void* block = std::malloc(bytes + kHeaderBytes);
    if (!block) {
        m_refused = true;
        return nullptr;
    }
    *static_cast<std::size_t*>(block) = bytes;
    m_inUseBytes += static_cast<qint64>(bytes);
    return static_cast<char*>(block) + kHeaderBytes;
}

void CodecMemoryBudget::release(void* address)
{
    if (!address)
        return;
    void* block = static_cast<char*>(address) - kHeaderBytes;
    m_inUseBytes -= static_cast<qint64>(*static_cast<std::size_t*>(block));
    std::free(block);
}

} // namespace kavelora::decoder
