// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "decoder/lockdown.h"

#include <linux/capability.h>
#include <linux/futex.h>
#include <linux/landlock.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <initializer_list>
#include <memory>
#include <vector>

namespace kavelora::decoder {

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

// glibc's pthread_create (2.36 and later), and so every thread Qt and the codecs start.
constexpr scmp_datum_t kThreadCloneFlags = CLONE_VM | CLONE_FS | CLONE_FILES | CLONE_SIGHAND |
                                           CLONE_THREAD | CLONE_SYSVSEM | CLONE_SETTLS |
                                           CLONE_PARENT_SETTID | CLONE_CHILD_CLEARTID;

// A futex operation without its FUTEX_PRIVATE_FLAG and FUTEX_CLOCK_REALTIME.
constexpr scmp_datum_t kFutexCommandMask = FUTEX_CMD_MASK & kIntArgumentMask;

scmp_arg_cmp intEquals(unsigned argument, scmp_datum_t value)
{
    return {argument, SCMP_CMP_MASKED_EQ, kIntArgumentMask, value};
}

// The argument (a whole register of flags) is requiredBits with any of optionalBits.
scmp_arg_cmp onlyBits(unsigned argument, scmp_datum_t requiredBits, scmp_datum_t optionalBits)
{
    return {argument, SCMP_CMP_MASKED_EQ, ~optionalBits, requiredBits};
}

void allowMemoryCalls(FilterBuilder& rules)
{
    const scmp_arg_cmp withoutExec{2, SCMP_CMP_MASKED_EQ, PROT_EXEC, 0};
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer's runtime maps its shadow and quarantine at places of its choosing, and
    // keeps them out of core dumps and huge pages.
    constexpr scmp_datum_t kSanitizerMapFlags = MAP_FIXED;
    const std::initializer_list<int> advice{MADV_DONTNEED, MADV_DONTDUMP, MADV_NOHUGEPAGE};
#else
    constexpr scmp_datum_t kSanitizerMapFlags = 0;
    // free and thread exits hand pages back; no other advice is given.
    const std::initializer_list<int> advice{MADV_DONTNEED};
#endif
    // malloc's blocks and arenas (reserved with MAP_NORESERVE), thread stacks (MAP_STACK).
    rules.allow(SCMP_SYS(mmap),
                {withoutExec, onlyBits(3, MAP_PRIVATE | MAP_ANONYMOUS,
                                       MAP_NORESERVE | MAP_STACK | kSanitizerMapFlags)});
    // The buffers the viewer lends, written in place.
    rules.allow(SCMP_SYS(mmap), {withoutExec, onlyBits(3, MAP_SHARED, MAP_POPULATE)});
    for (const int value : advice)
        rules.allow(SCMP_SYS(madvise), {intEquals(2, static_cast<scmp_datum_t>(value))});
    rules.allow(SCMP_SYS(mprotect), {withoutExec}); // thread stack guard pages, malloc arenas
    rules.allow(SCMP_SYS(munmap));
    rules.allow(SCMP_SYS(mremap), {onlyBits(3, 0, MREMAP_MAYMOVE)}); // realloc of large blocks
    rules.allow(SCMP_SYS(brk));                                      // malloc's main arena
}

void allowThreadCalls(FilterBuilder& rules)
{
    // Locks and wait conditions between threads: glibc's and Qt's waits (relative, and
    // absolute on either clock), wakes and wake-ops; no requeue or priority inheritance.
    for (const scmp_datum_t command : {FUTEX_WAIT, FUTEX_WAKE, FUTEX_WAIT_BITSET, FUTEX_WAKE_OP})
        rules.allow(SCMP_SYS(futex), {{1, SCMP_CMP_MASKED_EQ, kFutexCommandMask, command}});
    // Qt's thread pool converts large pictures in parallel, and codecs run worker threads:
    // threads may start, never processes, nor threads in new namespaces (the kernel reads
    // the low 32 bits of clone's flags).
    rules.allow(SCMP_SYS(clone), {intEquals(0, kThreadCloneFlags)});
#if defined(__SANITIZE_ADDRESS__)
    rules.allow(SCMP_SYS(sigaltstack)); // the address sanitizer's per-thread signal stack
#endif
    // clone3's flags sit in memory the filter cannot see; glibc falls back to clone.
    rules.answer(SCMP_SYS(clone3), ENOSYS);
    rules.allow(SCMP_SYS(exit));              // a thread ends
    rules.allow(SCMP_SYS(set_robust_list));   // glibc registers each new thread's locks
    rules.allow(SCMP_SYS(rseq));              // and its restartable sequences
    rules.allow(SCMP_SYS(rt_sigprocmask));    // glibc blocks signals while it starts a thread
    rules.allow(SCMP_SYS(sched_yield));       // spinning locks back off
    rules.allow(SCMP_SYS(gettid));            // Qt and glibc tell threads apart
    rules.allow(SCMP_SYS(sched_getaffinity)); // the thread pool's size
    // Each new Qt thread names itself and makes an event descriptor for its wake-ups.
    rules.allow(SCMP_SYS(prctl), {intEquals(0, PR_SET_NAME)});
    rules.allow(SCMP_SYS(eventfd2));
}

bool installSystemCallFilter(std::span<const int> keptDescriptors)
{
    Filter filter(seccomp_init(SCMP_ACT_KILL_PROCESS));
    if (!filter)
        return false;
    // Threads started before the lock are filtered too.
    seccomp_attr_set(filter.get(), SCMP_FLTATR_CTL_TSYNC, 1);
    FilterBuilder rules(filter);
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
#else
    // Warnings to stdout and stderr (both /dev/null), answers and pixels to the viewer.
    rules.allowOnDescriptors(SCMP_SYS(write), writable);
#endif
    rules.allowOnDescriptors(SCMP_SYS(writev), writable);
    // Requests and their descriptors arrive on the socket.
    rules.allowOnDescriptors(SCMP_SYS(recvmsg), keptDescriptors);
    // Answers leave on it through send(), to no address: unlike sendmsg, it carries no
    // descriptor.
    for (const int descriptor : keptDescriptors)
        rules.allow(SCMP_SYS(sendto),
                    {intEquals(0, static_cast<scmp_datum_t>(descriptor)), {4, SCMP_CMP_EQ, 0, 0}});
    allowMemoryCalls(rules);
    allowThreadCalls(rules);
    rules.allow(SCMP_SYS(exit_group));
    rules.allow(SCMP_SYS(rt_sigreturn));
    // A timed wait stopped by SIGSTOP resumes through it after SIGCONT.
    rules.allow(SCMP_SYS(restart_syscall));
    rules.allow(SCMP_SYS(close));         // descriptors received with a picture, after it
    rules.allow(SCMP_SYS(getrandom));     // Qt's hash seeds
    rules.allow(SCMP_SYS(clock_gettime)); // the helper's own processor time, past the vDSO
    rules.allow(SCMP_SYS(sysinfo));       // glibc's qsort sizes its buffer by the physical memory
    rules.allow(SCMP_SYS(getpid));        // libGLX, linked by Qt's GUI library, checks it at exit
    if (rules.failed())
        return false;
    return seccomp_load(filter.get()) == 0;
}

// Empties every capability set the process may change: ambient, bounding (which needs
// CAP_SETPCAP, so first), then inheritable, permitted and effective. Matters when the viewer
// runs as root; false when the last step fails.
bool dropCapabilities()
{
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    // The kernel knows capabilities up to the first one PR_CAPBSET_READ refuses.
    for (unsigned long capability = 0; prctl(PR_CAPBSET_READ, capability, 0, 0, 0) >= 0;
         ++capability)
        prctl(PR_CAPBSET_DROP, capability, 0, 0, 0);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    return syscall(SYS_capset, &header, none) == 0;
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
    // The viewer's end kills the helper even in the middle of a decode.
    prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    if (limits.expectedParent != 0 && getppid() != limits.expectedParent)
        return false;
    setLimits(limits);
    if (!dropCapabilities())
        return false;
    denyFilesystemAccess();
    return installSystemCallFilter(keptDescriptors);
}

} // namespace kavelora::decoder
