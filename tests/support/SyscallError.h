// Runs a test body in a forked child in which one system call always fails with a
// chosen error number (a seccomp filter), for conditions this machine cannot produce
// otherwise, such as a file system without locks (flock failing with ENOLCK, as on NFS
// without its lock service). The child's GoogleTest failures are printed by the child
// and turn into one failure of the test in the parent; the test is skipped where the
// filter cannot be installed.
//
// Fork only from a program that runs no other thread at that moment.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pelidor::test {

namespace detail {
#if defined(__x86_64__)
inline constexpr unsigned kAuditArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
inline constexpr unsigned kAuditArch = AUDIT_ARCH_AARCH64;
#else
inline constexpr unsigned kAuditArch = 0;
#endif

// True when the calling thread now gets `error` from every call of `nr`.
inline bool failSyscall(long nr, int error) {
    if (kAuditArch == 0)
        return false;
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kAuditArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(nr), 0, 1),
        BPF_STMT(BPF_RET | BPF_K,
                 SECCOMP_RET_ERRNO | (static_cast<unsigned>(error) & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}
} // namespace detail

// Runs `body` in a child process where the system call `nr` fails with `error`.
inline void runWithSyscallError(long nr, int error, const std::function<void()>& body) {
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0) << "fork: " << std::strerror(errno);
    if (pid == 0) {
        if (!detail::failSyscall(nr, error))
            ::_exit(77);
        try {
            body();
        } catch (const std::exception& e) {
            ADD_FAILURE() << "exception: " << e.what();
        } catch (...) {
            ADD_FAILURE() << "unknown exception";
        }
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "cannot install a seccomp filter here";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the part with failing system call " << nr << " failed (see its output above); status "
        << status;
}

} // namespace pelidor::test
