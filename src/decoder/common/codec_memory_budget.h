// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "protocol/picture_limits.h"

#include <QtGlobal>

#include <cstddef>

namespace kavelora::decoder {

// The heap of a codec that has no limits of its own but takes an allocator: blocks are handed
// out while the total of those not yet released stays within a budget.
class CodecMemoryBudget
{
public:
    explicit CodecMemoryBudget(qint64 budgetBytes = protocol::kMaxCodecDecodeBytes)
        : m_budgetBytes(budgetBytes)
    {}

    // A block of bytes, or nullptr when it would take the live total past the budget or the
    // heap has no room; exhausted() tells so from then on.
    void* allocate(std::size_t bytes);

    // Gives back a block allocate returned; nullptr does nothing.
    void release(void* block);

    // Whether an allocation was refused.
    bool exhausted() const { return m_refused; }

    // The bytes of the blocks handed out and not yet released.
    qint64 inUseBytes() const { return m_inUseBytes; }

private:
    qint64 m_budgetBytes;
    qint64 m_inUseBytes = 0;
    bool m_refused = false;
};

} // namespace kavelora::decoder
