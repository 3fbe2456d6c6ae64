// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <cstdint>

namespace kavelora::tests {

// A pseudo-random generator (xorshift) that gives the same numbers for a seed on every
// platform and Qt version, so generated fixtures and corpora are the same on every run.
class SeededRandom
{
public:
    explicit SeededRandom(std::uint64_t seed)
        : m_state(seed * 0x9E3779B97F4A7C15ull + 1)
    {}
    // The next 32 random bits.
    std::uint32_t next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return static_cast<std::uint32_t>(m_state >> 11);
    }
    // A number from 0 up to, not including, bound (which must be above 0).
    std::uint32_t bounded(std::uint32_t bound) { return next() % bound; }
    // count random bytes.
    QByteArray bytes(qsizetype count);

private:
    std::uint64_t m_state;
};

} // namespace kavelora::tests
