// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// Runs a program where no seccomp filter can be installed, as in a container that forbids
// it:  without_seccomp PROGRAM [ARGUMENT...]. Descriptors and environment pass through.

#include <seccomp.h>

#include <cerrno>
#include <cstdio>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argumentCount, char** arguments)
{
    if (argumentCount < 2)
        return 64;
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
    if (filter == nullptr ||
        seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(seccomp), 0) != 0 ||
        seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(prctl), 1,
                         SCMP_A0(SCMP_CMP_EQ, PR_SET_SECCOMP)) != 0 ||
        seccomp_load(filter) != 0)
        return 70;
    seccomp_release(filter);
    ::execv(arguments[1], arguments + 1);
    std::perror("execv");
    return 127;
}
