// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

// One byte with an open descriptor beside it on a Unix socket, as the viewer hands the decoder
// helper a picture file: the lock-down test sends one and its locked child receives it.
namespace kavelora::tests {

// Sends byte on socket with a copy of descriptor; true when the byte went.
bool sendWithDescriptor(int socket, char byte, int descriptor);

// Receives one byte on socket and the descriptor sent beside it, close-on-exec; -1 when the
// byte or the descriptor did not come.
int receiveDescriptor(int socket);

} // namespace kavelora::tests
