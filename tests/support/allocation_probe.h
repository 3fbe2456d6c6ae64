// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>

// Watches the sizes that malloc, calloc and realloc are asked for, so that a test can fail
// on an allocation attempt even when an address-space limit makes the attempt fail.
namespace kavelora::tests {

// True when the wrappers are built in (not under AddressSanitizer, which has its own).
bool allocationProbeWorks();
// Starts recording from zero.
void startRecordingAllocations();
// Stops recording; the largest single request since the start, in bytes.
std::size_t stopRecordingAllocations();

} // namespace kavelora::tests
