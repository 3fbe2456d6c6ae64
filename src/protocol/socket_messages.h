// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "protocol/unique_descriptor.h"

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace kavelora::protocol {

// Sends one message on a SOCK_SEQPACKET socket with descriptors attached. False when the
// peer is gone.
bool sendMessage(int socket, std::span<const std::byte> message,
                 std::span<const int> descriptors = {});

template<typename Message>
bool sendMessage(int socket, const Message& message, std::span<const int> descriptors = {})
{
    return sendMessage(socket, std::as_bytes(std::span(&message, 1)), descriptors);
}

struct ReceivedMessage
{
    std::vector<std::byte> bytes;
    std::vector<UniqueDescriptor> descriptors;
};

// Receives one message, waiting for it. Nothing when the peer is gone or the message was cut
// short: longer than maxBytes, or more descriptors than maxDescriptors (those that came are
// closed).
std::optional<ReceivedMessage> receiveMessage(int socket, std::size_t maxBytes,
                                              std::size_t maxDescriptors);

} // namespace kavelora::protocol
