// Runs a Qt test program inside a QApplication (offscreen unless a platform is set)
// with a private runtime folder (mode 0700) and private config, data and cache folders,
// so that nothing touches the real user's files. Built with PELIDOR_TEST_UNPRIVILEGED
// (pelidor_qt_test_main_unprivileged) and started as root, the program first drops to
// the unprivileged user 65534 and starts itself again, so that its windows run as a
// user's would (the browser engine runs only with its sandbox, which root cannot have). A test
// still running after PELIDOR_TEST_STACK_DUMP seconds (default 50) gets the stacks of all its
// threads printed (through gdb, when installed), so that a hang leaves a trace before the test's
// time limit ends it.
#include <gtest/gtest.h>

#include <QApplication>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <grp.h>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

void startStackDumpTimer() {
    const char* value = std::getenv("PELIDOR_TEST_STACK_DUMP");
    const int seconds = value != nullptr && *value != 0 ? std::atoi(value) : 50;
    if (seconds <= 0 || ::access("/usr/bin/gdb", X_OK) != 0)
        return;
    const std::string pid = std::to_string(::getpid());
    std::thread([seconds, pid] {
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        std::fprintf(stderr, "\n*** still running after %d s; the stacks:\n", seconds);
        std::fflush(stderr);
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(2, 1);
            ::execl("/usr/bin/gdb", "gdb", "-p", pid.c_str(), "-batch", "-nx", "-ex",
                    "thread apply all bt", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (child > 0)
            ::waitpid(child, nullptr, 0);
    }).detach();
}

#if defined(PELIDOR_TEST_UNPRIVILEGED)
constexpr uid_t kUnprivileged = 65534;

// Whether user 65534 can run this program and read its sources (the language packs and
// the stand-in service live there): asked in a child that drops to that user.
bool unprivilegedCanRun(const std::string& self) {
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        const bool ok = ::setgroups(0, nullptr) == 0 && ::setgid(kUnprivileged) == 0 &&
                        ::setuid(kUnprivileged) == 0 && ::access(self.c_str(), X_OK) == 0 &&
                        ::access(PELIDOR_TEST_SOURCE_DIR, R_OK | X_OK) == 0;
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// As root: become user 65534 (no supplementary groups) and run this program again. The
// new program finds itself unprivileged and goes on. Where that user cannot reach the
// program (a checkout in a folder closed to others), the program stays root and the
// browser engine runs without its sandbox, which root cannot have; it says so.
void restartUnprivileged(char** argv) {
    if (::geteuid() != 0)
        return;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    if (!unprivilegedCanRun(self)) {
        std::fprintf(stderr,
                     "NOTE: user %u cannot reach %s or %s; running as root, with the "
                     "browser engine's sandbox off\n",
                     unsigned(kUnprivileged), self.c_str(), PELIDOR_TEST_SOURCE_DIR);
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
        return;
    }
    if (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivileged) != 0 ||
        ::setuid(kUnprivileged) != 0) {
        std::perror("cannot drop root rights");
        std::exit(1);
    }
    // Root's home is not this user's: give it a home of its own for the run.
    ::unsetenv("HOME");
    ::execv("/proc/self/exe", argv);
    std::perror("cannot start again without root rights");
    std::exit(1);
}
#endif

} // namespace

int main(int argc, char** argv) {
#if defined(PELIDOR_TEST_UNPRIVILEGED)
    restartUnprivileged(argv);
#endif
    const char* tmp = std::getenv("TMPDIR");
    std::string root =
        std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/pelidor-qt-tests-XXXXXX";
    if (::mkdtemp(root.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    for (const char* sub : {"/runtime", "/config", "/data", "/cache", "/home"})
        ::mkdir((root + sub).c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
    ::setenv("HOME", (root + "/home").c_str(), 0);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);

    startStackDumpTimer();
    int result = 0;
    {
        QApplication app(argc, argv);
        testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return result;
}
