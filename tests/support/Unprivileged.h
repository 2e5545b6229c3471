// Runs a test body without root rights, so that file permissions stop it as they stop
// a user: run as root, the body runs in a forked child that has dropped to the
// unprivileged user 65534 ('nobody'); run as a normal user, it simply runs in place.
// The child's GoogleTest failures are printed by the child and turn into one failure
// of the test in the parent.
//
// Fork only from a program that has started no other thread yet (no Qt application,
// no scan worker running): the child holds a copy of the calling thread alone.
// Everything the child uses must be reachable for user 65534: create it in the child,
// or hand it over with giveToUnprivileged() first; the folders above it must be open to
// everyone (as /tmp, where TempTree puts its trees by default, is).
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pelidor::test {

inline constexpr uid_t kUnprivilegedId = 65534;

// True when the body of runUnprivileged runs in a separate process.
inline bool unprivilegedRunForks() {
    return ::geteuid() == 0;
}

// Makes `path` and everything below it belong to the unprivileged user (only when the
// tests run as root; a normal user owns them already). Links are not followed.
inline void giveToUnprivileged(const std::string& path) {
    if (::geteuid() != 0)
        return;
    namespace fs = std::filesystem;
    ::lchown(path.c_str(), kUnprivilegedId, kUnprivilegedId);
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(path, ec)))
        return;
    for (auto it = fs::recursive_directory_iterator(path, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        ::lchown(it->path().c_str(), kUnprivilegedId, kUnprivilegedId);
}

// Runs `body` without root rights (see above). The test is skipped when the rights
// cannot be dropped here.
inline void runUnprivileged(const std::function<void()>& body) {
    if (!unprivilegedRunForks()) {
        body();
        return;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0) << "fork: " << std::strerror(errno);
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedId) != 0 ||
            ::setuid(kUnprivilegedId) != 0)
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
        GTEST_SKIP() << "cannot drop root rights here";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the unprivileged part failed (see its output above); status " << status;
}

} // namespace pelidor::test
