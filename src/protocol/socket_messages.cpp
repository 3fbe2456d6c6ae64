// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "protocol/socket_messages.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>

namespace kavelora::protocol {

namespace {

constexpr std::size_t kMaxDescriptors = 4;

// Room for kMaxDescriptors descriptors, aligned as cmsghdr needs.
union ControlBuffer {
    char bytes[CMSG_SPACE(sizeof(int) * kMaxDescriptors)];
    cmsghdr alignment;
};

} // namespace

bool sendMessage(int socket, std::span<const std::byte> message, std::span<const int> descriptors)
{
    if (descriptors.size() > kMaxDescriptors)
        return false;
    ssize_t sent = -1;
    if (descriptors.empty()) {
        // send() cannot carry descriptors, so the locked helper is allowed it and not sendmsg.
        do {
            sent = ::send(socket, message.data(), message.size(), MSG_NOSIGNAL);
        } while (sent < 0 && errno == EINTR);
        return sent == static_cast<ssize_t>(message.size());
    }
    iovec part{const_cast<std::byte*>(message.data()), message.size()};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    ControlBuffer control{};
    header.msg_control = control.bytes;
    header.msg_controllen = CMSG_SPACE(sizeof(int) * descriptors.size());
    cmsghdr* rights = CMSG_FIRSTHDR(&header);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof(int) * descriptors.size());
    std::memcpy(CMSG_DATA(rights), descriptors.data(), sizeof(int) * descriptors.size());
    do {
        sent = ::sendmsg(socket, &header, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(message.size());
}

std::optional<ReceivedMessage> receiveMessage(int socket, std::size_t maxBytes,
                                              std::size_t maxDescriptors)
{
    ReceivedMessage received;
    // One byte more than allowed tells a message that is too long from one that fits.
    received.bytes.resize(maxBytes + 1);
    iovec part{received.bytes.data(), received.bytes.size()};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    ControlBuffer control{};
    header.msg_control = control.bytes;
    header.msg_controllen = sizeof control.bytes;
    ssize_t count = -1;
    do {
        count = ::recvmsg(socket, &header, MSG_CMSG_CLOEXEC);
    } while (count < 0 && errno == EINTR);
    if (count <= 0)
        return std::nullopt;

    for (cmsghdr* rights = CMSG_FIRSTHDR(&header); rights; rights = CMSG_NXTHDR(&header, rights)) {
        if (rights->cmsg_level != SOL_SOCKET || rights->cmsg_type != SCM_RIGHTS)
            continue;
        const std::size_t descriptors = (rights->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < descriptors; ++i) {
            int descriptor = -1;
            std::memcpy(&descriptor, CMSG_DATA(rights) + i * sizeof(int), sizeof descriptor);
            received.descriptors.emplace_back(descriptor);
        }
    }
    const bool cut = (header.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0 ||
                     static_cast<std::size_t>(count) > maxBytes ||
                     received.descriptors.size() > maxDescriptors;
    if (cut)
        return std::nullopt;
    received.bytes.resize(static_cast<std::size_t>(count));
    return received;
}

} // namespace kavelora::protocol
