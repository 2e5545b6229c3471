// The files the program writes for the user alone are created readable by their owner
// only, whatever the umask: the settings file and the registry stand-in (0600 in 0700
// folders), backup archives (0600), and the single-instance socket, which lives in the
// private runtime folder and refuses other users.
#include "backup/BackupArchive.h"
#include "config/uAppConfig.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "platform/System.h"
#include "shell/SingleInstance.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <QFile>

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pelidor {
namespace {

using test::EnvGuard;
using test::TempTree;

const std::string kRegistryKey = "HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Pelidor";

// Sets the process umask for one test and puts the old one back.
class UmaskGuard {
public:
    explicit UmaskGuard(mode_t mask) : old_(::umask(mask)) {}
    ~UmaskGuard() { ::umask(old_); }
    UmaskGuard(const UmaskGuard&) = delete;
    UmaskGuard& operator=(const UmaskGuard&) = delete;

private:
    mode_t old_;
};

// The permission bits and the kind of what is at `path` (links not followed); -1 when
// nothing is there.
int modeOf(const std::string& path, mode_t kind) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || (st.st_mode & S_IFMT) != kind)
        return -1;
    return static_cast<int>(st.st_mode & 07777);
}

std::string folderOf(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

// Connects to the local socket at `path` from a child process that has given up root for
// the "nobody" user. 0 when the connection was made, else the errno of connect(2); -1 when
// the child could not be set up.
int connectAsNobody(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path))
        return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(255);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (fd < 0)
            ::_exit(255);
        const int result =
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0
                ? 0
                : errno;
        ::_exit(result > 254 ? 254 : result);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 255)
        return -1;
    return WEXITSTATUS(status);
}

class PrivateFiles : public testing::TestWithParam<mode_t> {
protected:
    UmaskGuard umask_{GetParam()};
    TempTree tree_;
    EnvGuard env_;
};

TEST_P(PrivateFiles, SettingsFileAndItsFolderAreForTheOwnerOnly) {
    const std::string root = tree_.mkdir("settings");
    SetSettingsRoot(root + "/");
    const bool saved = SaveAppConfig();
    SetSettingsRoot({});
    ASSERT_TRUE(saved);

    const std::string file = root + "/Pelidor/Config.ini";
    EXPECT_EQ(modeOf(file, S_IFREG), 0600);
    EXPECT_EQ(modeOf(folderOf(file), S_IFDIR), 0700);
}

TEST_P(PrivateFiles, RegistryStandInAndItsFolderAreForTheOwnerOnly) {
    env_.set("XDG_CONFIG_HOME", tree_.root());
    platform::setRegistryFilePath({});
    const std::string file = platform::registryFilePath();
    ASSERT_EQ(file, tree_.path("Corvane/registry.reg"));

    // Both ways in: the user identifier written on first use, and a plain value.
    EXPECT_FALSE(GetOrCreateUserGuid().empty());
    EXPECT_EQ(modeOf(file, S_IFREG), 0600);
    EXPECT_EQ(modeOf(folderOf(file), S_IFDIR), 0700);

    ASSERT_EQ(::unlink(file.c_str()), 0);
    ASSERT_EQ(::rmdir(folderOf(file).c_str()), 0);
    ASSERT_TRUE(platform::regWriteDword(kRegistryKey, "IsJP", 1));
    EXPECT_EQ(platform::regReadDword(kRegistryKey, "IsJP"), 1u);
    EXPECT_EQ(modeOf(file, S_IFREG), 0600);
    EXPECT_EQ(modeOf(folderOf(file), S_IFDIR), 0700);
}

TEST_P(PrivateFiles, BackupArchiveIsForTheOwnerOnly) {
    const std::string original = tree_.write("data/report.txt", "quarterly figures\n");
    const std::string folder = tree_.mkdir("backups");
    ::chmod(original.c_str(), 0644);

    const backup::BackupReport report =
        backup::WriteBackupArchive(folder, {original}, 46000.5, ".");
    ASSERT_TRUE(report.complete());
    ASSERT_EQ(report.stored, 1u);
    EXPECT_EQ(folderOf(report.archivePath), folder);
    EXPECT_EQ(modeOf(report.archivePath, S_IFREG), 0600);
}

TEST_P(PrivateFiles, SingleInstanceSocketRefusesOtherUsers) {
    const std::string runtime = tree_.mkdir("runtime");
    ASSERT_EQ(::chmod(runtime.c_str(), 0700), 0);
    env_.set("XDG_RUNTIME_DIR", runtime);
    ASSERT_EQ(platform::privateRuntimeDir(), runtime);

    TSingleInstance instance;
    ASSERT_TRUE(instance.tryAcquire());
    ASSERT_TRUE(instance.listen());
    const std::string socket = QFile::encodeName(instance.serverName()).toStdString();
    EXPECT_EQ(socket, runtime + "/QdxMutex2012-" + platform::userIdText());
    const int mode = modeOf(socket, S_IFSOCK);
    ASSERT_NE(mode, -1) << "no socket at " << socket;
    EXPECT_EQ(mode & 077, 0) << std::oct << mode;

    if (!test::runningAsRoot()) {
        instance.release();
        GTEST_SKIP() << "another user can only be tried with root rights";
    }
    // The private folder keeps others out...
    EXPECT_EQ(connectAsNobody(socket), EACCES);
    // ...and so does the socket itself once the folders on the way can be passed.
    ASSERT_EQ(::chmod(tree_.root().c_str(), 0711), 0);
    ASSERT_EQ(::chmod(runtime.c_str(), 0711), 0);
    EXPECT_EQ(connectAsNobody(socket), EACCES);
    // The same child gets through a socket open to all, so the refusals above are real.
    ASSERT_EQ(::chmod(socket.c_str(), 0777), 0);
    EXPECT_EQ(connectAsNobody(socket), 0);
    ::chmod(runtime.c_str(), 0700);
    ::chmod(tree_.root().c_str(), 0700);
    instance.release();
}

INSTANTIATE_TEST_SUITE_P(Umask, PrivateFiles, testing::Values(mode_t{022}, mode_t{0}),
                         [](const testing::TestParamInfo<mode_t>& info) {
                             return info.param == 0 ? std::string("Umask000")
                                                    : std::string("Umask022");
                         });

} // namespace
} // namespace pelidor
