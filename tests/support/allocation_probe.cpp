// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "allocation_probe.h"

#include <atomic>

namespace {
std::atomic<std::size_t> g_largestRequest{0};
std::atomic<bool> g_recording{false};

[[maybe_unused]] void noteRequest(std::size_t size)
{
    if (!g_recording.load(std::memory_order_relaxed))
        return;
    std::size_t largest = g_largestRequest.load(std::memory_order_relaxed);
    while (size > largest && !g_largestRequest.compare_exchange_weak(largest, size)) {
    }
}
} // namespace

// glibc's own allocator does the work; the wrappers only note the size asked for. Linked
// into the executable, they take the place of malloc for every library it loads.
#if !defined(__SANITIZE_ADDRESS__)
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);

void* malloc(std::size_t size)
{
    noteRequest(size);
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size)
{
    noteRequest(count * size);
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size)
{
    noteRequest(size);
    return __libc_realloc(pointer, size);
}
}
#endif

namespace kavelora::tests {

bool allocationProbeWorks()
{
#if defined(__SANITIZE_ADDRESS__)
    return false;
#else
    return true;
#endif
}

void startRecordingAllocations()
{
    g_largestRequest = 0;
    g_recording = true;
}

std::size_t stopRecordingAllocations()
{
    g_recording = false;
    return g_largestRequest.load();
}

} // namespace kavelora::tests
