// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/lockdown.h"

#include <linux/landlock.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <initializer_list>
#include <memory>
#include <vector>

namespace kavelora::picture {

namespace {

// Room for the descriptors the viewer passes over the socket, one picture at a time. Kept
// descriptors numbered above it stay open: the limit bounds only new ones.
constexpr rlim_t kOpenDescriptorLimit = 16;

// Descriptors are ints; compare the low 32 bits of the register only.
constexpr scmp_datum_t kIntArgumentMask = 0xFFFFFFFFu;

std::vector<int> descriptorsToKeep(std::span<const int> keptDescriptors)
{
    std::vector<int> kept{STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO};
    kept.insert(kept.end(), keptDescriptors.begin(), keptDescriptors.end());
    std::sort(kept.begin(), kept.end());
    kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
    return kept;
}

void closeRange(unsigned first, unsigned last)
{
    if (first > last)
        return;
    if (close_range(first, last, 0) == 0 || errno != ENOSYS)
        return;
    // Kernels before 5.9: every number up to the descriptor limit.
    rlimit openLimit{};
    getrlimit(RLIMIT_NOFILE, &openLimit);
    const unsigned end = static_cast<unsigned>(std::min<rlim_t>(openLimit.rlim_cur, INT_MAX));
    for (unsigned descriptor = first; descriptor <= last && descriptor < end; ++descriptor)
        close(static_cast<int>(descriptor));
}

void closeDescriptorsExcept(const std::vector<int>& kept)
{
    unsigned next = 0;
    for (const int descriptor : kept) {
        if (descriptor < 0)
            continue;
        const auto number = static_cast<unsigned>(descriptor);
        if (number > next)
            closeRange(next, number - 1);
        next = number + 1;
    }
    closeRange(next, UINT_MAX);
}

void setLimit(int resource, rlim_t soft, rlim_t hard)
{
    const rlimit limit{soft, hard};
    setrlimit(resource, &limit);
}

void setLimits(const LockdownLimits& limits)
{
    if (limits.addressSpaceBytes > 0) {
        const auto bytes = static_cast<rlim_t>(limits.addressSpaceBytes);
        setLimit(RLIMIT_AS, bytes, bytes);
    }
    if (limits.cpuSeconds > 0) {
        const auto seconds = static_cast<rlim_t>(limits.cpuSeconds);
        setLimit(RLIMIT_CPU, seconds, seconds + 1);
    }
    if (limits.limitFileSize)
        setLimit(RLIMIT_FSIZE, 0, 0);
    setLimit(RLIMIT_CORE, 0, 0);
    setLimit(RLIMIT_NOFILE, kOpenDescriptorLimit, kOpenDescriptorLimit);
}

// Every filesystem right Landlock ABI abi handles: 13 rights in ABI 1, then REFER (2),
// TRUNCATE (3) and IOCTL_DEV (5), each the next bit.
__u64 filesystemRightsOf(long abi)
{
    int rights = 13;
    if (abi >= 2)
        rights = 14;
    if (abi >= 3)
        rights = 15;
    if (abi >= 5)
        rights = 16;
    return (__u64{1} << rights) - 1;
}

struct FilterRelease
{
    void operator()(void* filter) const { seccomp_release(filter); }
};
using Filter = std::unique_ptr<void, FilterRelease>;

class FilterBuilder
{
public:
    explicit FilterBuilder(Filter& filter)
        : m_filter(filter)
    {}

    void allow(int call, std::initializer_list<scmp_arg_cmp> conditions = {})
    {
        add(SCMP_ACT_ALLOW, call, conditions);
    }

    void allowOnDescriptors(int call, std::span<const int> descriptors)
    {
        for (const int descriptor : descriptors)
            allow(call, {{0, SCMP_CMP_MASKED_EQ, kIntArgumentMask,
                          static_cast<scmp_datum_t>(descriptor)}});
    }

    void answer(int call, int error) { add(SCMP_ACT_ERRNO(static_cast<uint32_t>(error)), call); }

    bool failed() const { return m_failed; }

private:
    void add(uint32_t action, int call, std::initializer_list<scmp_arg_cmp> conditions = {})
    {
        const auto count = static_cast<unsigned>(conditions.size());
        if (seccomp_rule_add_array(m_filter.get(), action, call, count, conditions.begin()) != 0)
            m_failed = true;
    }

    Filter& m_filter;
    bool m_failed = false;
};

bool installSystemCallFilter(std::span<const int> keptDescriptors)
{
    Filter filter(seccomp_init(SCMP_ACT_KILL_PROCESS));
    if (!filter)
        return false;
    // Threads started before the lock are filtered too.
    seccomp_attr_set(filter.get(), SCMP_FLTATR_CTL_TSYNC, 1);
    FilterBuilder rules(filter);
    const scmp_arg_cmp withoutExec{2, SCMP_CMP_MASKED_EQ, PROT_EXEC, 0};
    const scmp_arg_cmp threadOnly{0, SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD};
    std::vector<int> writable{STDOUT_FILENO, STDERR_FILENO};
    writable.insert(writable.end(), keptDescriptors.begin(), keptDescriptors.end());

    rules.allow(SCMP_SYS(read));    // the picture, from the descriptors the viewer passed
    rules.allow(SCMP_SYS(pread64)); // readers that seek as they read
    rules.allow(SCMP_SYS(readv));
    rules.allow(SCMP_SYS(lseek));
#if defined(__SANITIZE_ADDRESS__)
    // Sanitizer builds: the vptr check tells whether memory is readable by writing it into a
    // pipe of its own.
    rules.allow(SCMP_SYS(pipe2));
    rules.allow(SCMP_SYS(write));
    rules.allow(SCMP_SYS(sigaltstack)); // the address sanitizer's per-thread signal stack
#else
    // Warnings to stdout and stderr (both /dev/null), answers and pixels to the viewer.
    rules.allowOnDescriptors(SCMP_SYS(write), writable);
#endif
    rules.allowOnDescriptors(SCMP_SYS(writev), writable);
    // Requests and their descriptors arrive on the socket, answers leave on it.
    rules.allowOnDescriptors(SCMP_SYS(recvmsg), keptDescriptors);
    rules.allowOnDescriptors(SCMP_SYS(sendmsg), keptDescriptors);
    // Pixels, mapped pictures and thread stacks, never executable.
    rules.allow(SCMP_SYS(mmap), {withoutExec});
    rules.allow(SCMP_SYS(mprotect), {withoutExec}); // thread stack guard pages, malloc arenas
    rules.allow(SCMP_SYS(munmap));
    rules.allow(SCMP_SYS(mremap));  // realloc of large blocks
    rules.allow(SCMP_SYS(brk));     // malloc's main arena
    rules.allow(SCMP_SYS(madvise)); // free hands pages back
    rules.allow(SCMP_SYS(futex));   // locks and wait conditions between threads
    rules.allow(SCMP_SYS(exit));    // a thread ends
    rules.allow(SCMP_SYS(exit_group));
    rules.allow(SCMP_SYS(rt_sigreturn));
    rules.allow(SCMP_SYS(rt_sigprocmask)); // glibc blocks signals while it starts a thread
    rules.allow(SCMP_SYS(close));          // descriptors received with a picture, after it
    // Qt's thread pool converts large pictures in parallel: threads may start, never processes.
    rules.allow(SCMP_SYS(clone), {threadOnly});
    // clone3's flags sit in memory the filter cannot see; glibc falls back to clone.
    rules.answer(SCMP_SYS(clone3), ENOSYS);
    rules.allow(SCMP_SYS(set_robust_list));   // glibc registers each new thread's locks
    rules.allow(SCMP_SYS(rseq));              // and its restartable sequences
    rules.allow(SCMP_SYS(sched_yield));       // spinning locks back off
    rules.allow(SCMP_SYS(gettid));            // Qt and glibc tell threads apart
    rules.allow(SCMP_SYS(sched_getaffinity)); // the thread pool's size
    rules.allow(SCMP_SYS(getrandom));         // Qt's hash seeds
    rules.allow(SCMP_SYS(clock_gettime));     // the helper's own processor time, past the vDSO
    rules.allow(SCMP_SYS(sysinfo)); // glibc's qsort sizes its buffer by the physical memory
    rules.allow(SCMP_SYS(getpid));  // libGLX, linked by Qt's GUI library, checks it at exit
    // Each new Qt thread names itself and makes an event descriptor for its wake-ups.
    rules.allow(SCMP_SYS(prctl), {{0, SCMP_CMP_MASKED_EQ, kIntArgumentMask, PR_SET_NAME}});
    rules.allow(SCMP_SYS(eventfd2));
    if (rules.failed())
        return false;
    return seccomp_load(filter.get()) == 0;
}

} // namespace

bool denyFilesystemAccess()
{
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return false;
    const long abi =
        syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1)
        return false;
    landlock_ruleset_attr ruleset{};
    ruleset.handled_access_fs = filesystemRightsOf(abi);
    const long rulesetDescriptor =
        syscall(SYS_landlock_create_ruleset, &ruleset, sizeof ruleset, 0);
    if (rulesetDescriptor < 0)
        return false;
    // No rules: nothing below any directory is granted.
    const bool restricted = syscall(SYS_landlock_restrict_self, rulesetDescriptor, 0) == 0;
    close(static_cast<int>(rulesetDescriptor));
    return restricted;
}

bool lockDown(std::span<const int> keptDescriptors, const LockdownLimits& limits)
{
    closeDescriptorsExcept(descriptorsToKeep(keptDescriptors));
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    setLimits(limits);
    denyFilesystemAccess();
    return installSystemCallFilter(keptDescriptors);
}

} // namespace kavelora::picture
