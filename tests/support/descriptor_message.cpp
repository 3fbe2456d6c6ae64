// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "descriptor_message.h"

#include <sys/socket.h>

#include <cstring>

namespace kavelora::tests {

namespace {

// A one-byte message with room for one descriptor; it points into itself, so it stays put.
struct OneDescriptorMessage
{
    OneDescriptorMessage()
    {
        header.msg_iov = &part;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
    }
    OneDescriptorMessage(const OneDescriptorMessage&) = delete;
    OneDescriptorMessage& operator=(const OneDescriptorMessage&) = delete;

    char byte = 0;
    iovec part{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr header{};
};

} // namespace

bool sendWithDescriptor(int socket, char byte, int descriptor)
{
    OneDescriptorMessage message;
    message.byte = byte;
    cmsghdr* header = CMSG_FIRSTHDR(&message.header);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &descriptor, sizeof descriptor);
    return sendmsg(socket, &message.header, MSG_NOSIGNAL) == 1;
}

int receiveDescriptor(int socket)
{
    OneDescriptorMessage message;
    if (recvmsg(socket, &message.header, MSG_CMSG_CLOEXEC) != 1)
        return -1;
    const cmsghdr* header = CMSG_FIRSTHDR(&message.header);
    if (header == nullptr || header->cmsg_type != SCM_RIGHTS)
        return -1;
    int descriptor = -1;
    std::memcpy(&descriptor, CMSG_DATA(header), sizeof descriptor);
    return descriptor;
}

} // namespace kavelora::tests
