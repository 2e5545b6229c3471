// A folder chain 3,000 levels deep: the walk, the fingerprints, the grouping and the
// command's JSON output on paths far beyond the system's path limit, with the number of
// open files limited well below the depth. The chain is built and removed one level at
// a time through open folder handles, so neither needs more than two of them. Also the
// small file operations on a path beyond the limit.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/FileOps.h"
#include "platform/FileSystem.h"
#include "tests/cli/MiniJson.h"
#include "tests/engine/ScanHelpers.h"

namespace pelidor::test {
namespace {

constexpr int kDepth = 3000;
// Open files allowed while scanning: far fewer than the chain has levels.
constexpr rlim_t kOpenFileLimit = 256;
// Stack of the command (its threads take the same size): 1/32 of the usual 8 MiB.
constexpr int kStackKiB = 256;

std::string levelName(int level) {
    return "d" + std::to_string(level % 10);
}

bool writeAt(int dirFd, const std::string& name, const std::string& content) {
    const int fd = ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool ok =
        ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    return ::close(fd) == 0 && ok;
}

// Removes the folder `name` below `parentFd` and everything in it without recursion:
// it goes down through the first sub-folder it finds, and when a folder is empty it
// steps up through ".." and removes it there. At most two folder handles are open.
bool removeTreeIteratively(int parentFd, const std::string& name) {
    std::vector<std::string> names{name}; // the folders from `name` down to the current one
    int fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    for (;;) {
        std::string sub;
        const int listFd = ::dup(fd);
        DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
        if (dir == nullptr) {
            if (listFd >= 0)
                ::close(listFd);
            ::close(fd);
            return false;
        }
        while (const dirent* e = ::readdir(dir)) {
            const std::string n = e->d_name;
            if (n == "." || n == "..")
                continue;
            if (::unlinkat(fd, n.c_str(), 0) != 0 && (errno == EISDIR || errno == EPERM)) {
                sub = n;
                break;
            }
        }
        ::closedir(dir);
        if (!sub.empty()) {
            const int next =
                ::openat(fd, sub.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            ::close(fd);
            if (next < 0)
                return false;
            fd = next;
            names.push_back(sub);
            continue;
        }
        if (names.size() == 1) {
            ::close(fd);
            return ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) == 0;
        }
        const int up = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        if (up < 0 || ::unlinkat(up, names.back().c_str(), AT_REMOVEDIR) != 0) {
            if (up >= 0)
                ::close(up);
            return false;
        }
        names.pop_back();
        fd = up;
    }
}

// Records collected: the argument of the last folder report.
int64_t collectedCount(const std::vector<ProgressReport>& reports) {
    int64_t n = 0;
    for (const auto& r : reports)
        if (r.code == spFolderDone)
            n = r.arg;
    return n;
}

int openFileCount() {
    int n = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir) != nullptr)
            ++n;
        ::closedir(dir);
    }
    return n - 3; // ".", ".." and the listing's own handle
}

// Lowers the soft limit of open files for its lifetime; child processes inherit it.
class OpenFileLimit {
public:
    explicit OpenFileLimit(rlim_t limit) {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = std::min(limit, saved_.rlim_max);
        ok_ = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    }
    ~OpenFileLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    OpenFileLimit(const OpenFileLimit&) = delete;
    OpenFileLimit& operator=(const OpenFileLimit&) = delete;
    bool ok() const { return ok_; }

private:
    rlimit saved_{};
    bool ok_ = false;
};

// The same head and tail (1 KiB each) and another middle: equal under the partial
// fingerprint only.
std::string sameEnds(int64_t size, uint32_t middleSeed) {
    std::string content = seededContent(size, 11);
    const std::string middle = seededContent(size - 2048, middleSeed);
    content.replace(1024, middle.size(), middle);
    return content;
}

// The chain below one temporary folder: top/d0/d1/.../d9/d0/... kDepth levels, with
// files at the top, near the top, in the middle, near the bottom and at the bottom.
class DeepChainTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        tree_ = new TempTree;
        files_ = new std::vector<std::string>;
        const std::string root = tree_->path("top");
        ASSERT_EQ(::mkdir(root.c_str(), 0700), 0);
        int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        std::string folder = root;
        for (int level = 0; level <= kDepth; ++level) {
            for (const auto& [name, content] : filesAt(level)) {
                ASSERT_TRUE(writeAt(fd, name, content)) << level << " " << name;
                files_->push_back(folder + "/" + name);
            }
            if (level == kDepth)
                break;
            const std::string sub = levelName(level);
            ASSERT_EQ(::mkdirat(fd, sub.c_str(), 0700), 0) << level;
            const int next = ::openat(fd, sub.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            ASSERT_GE(next, 0) << level;
            fd = next;
            folder += "/" + sub;
        }
        ::close(fd);
        bottom_ = new std::string(folder);
        ASSERT_GT(folder.size(), 2u * PATH_MAX);
    }

    static void TearDownTestSuite() {
        const int rootFd = ::open(tree_->root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        EXPECT_GE(rootFd, 0);
        const int before = openFileCount();
        EXPECT_TRUE(removeTreeIteratively(rootFd, "top"));
        EXPECT_EQ(openFileCount(), before);
        ::close(rootFd);
        EXPECT_TRUE(folderNames(tree_->root()).empty());
        delete bottom_;
        delete files_;
        delete tree_;
    }

    static std::vector<std::pair<std::string, std::string>> filesAt(int level) {
        std::vector<std::pair<std::string, std::string>> out;
        if (level % 500 == 0)
            out.emplace_back("level.txt", "level\n"); // 0, 500, ..., 3000
        switch (level) {
        case 0:
            out.emplace_back("top.bin", seededContent(5000, 7));
            break;
        case 1:
            out.emplace_back("big.bin", seededContent(40000, 3));
            break;
        case 10:
            out.emplace_back("Same.TXT", seededContent(300, 1));
            break;
        case 1500:
            out.emplace_back("ends.bin", sameEnds(20000, 21));
            break;
        case kDepth - 1:
            out.emplace_back("big copy.bin", seededContent(40000, 3));
            break;
        case kDepth:
            out.emplace_back("bottom.bin", seededContent(5000, 7));
            out.emplace_back("ends 2.bin", sameEnds(20000, 22));
            out.emplace_back("same.txt", seededContent(300, 2));
            out.emplace_back("only.bin", seededContent(777, 5));
            break;
        default:
            break;
        }
        return out;
    }

    // Full path of a file at `level` (0 = the top folder).
    static std::string at(int level, const std::string& name) {
        std::string path = tree_->path("top");
        for (int i = 0; i < level; ++i)
            path += "/" + levelName(i);
        return path + "/" + name;
    }

    static Strings levelFiles() {
        Strings out;
        for (int level = 0; level <= kDepth; level += 500)
            out.push_back(at(level, "level.txt"));
        return out;
    }

    static Groups expected(TDuplicateType mode) {
        const Strings same = {at(0, "top.bin"), at(kDepth, "bottom.bin")};
        const Strings big = {at(1, "big.bin"), at(kDepth - 1, "big copy.bin")};
        const Strings ends = {at(1500, "ends.bin"), at(kDepth, "ends 2.bin")};
        const Strings names = {at(10, "Same.TXT"), at(kDepth, "same.txt")};
        switch (mode) {
        case dtMd5:
            return normalized(brief({levelFiles(), same, big}));
        case dtMd5Part:
            return normalized(brief({levelFiles(), same, ends, big}));
        case dtFileName:
            return normalized(brief({levelFiles(), names}));
        default:
            return {};
        }
    }

    static std::string root() { return tree_->path("top"); }

    // Paths of the chain written as "L<level>/<name>", so that a failure prints
    // something readable; any other path stays as it is.
    static Groups brief(Groups groups) {
        const std::string prefix = root() + "/";
        for (auto& g : groups)
            for (auto& p : g) {
                if (p.compare(0, prefix.size(), prefix) != 0)
                    continue;
                const std::string rest = p.substr(prefix.size());
                const auto slash = rest.rfind('/');
                const std::string name = slash == std::string::npos ? rest : rest.substr(slash + 1);
                const auto level = static_cast<int>(std::count(rest.begin(), rest.end(), '/'));
                if (p == at(level, name))
                    p = "L" + std::to_string(level) + "/" + name;
            }
        return groups;
    }

    static TempTree* tree_;
    static std::vector<std::string>* files_;
    static std::string* bottom_;
};

TempTree* DeepChainTest::tree_ = nullptr;
std::vector<std::string>* DeepChainTest::files_ = nullptr;
std::string* DeepChainTest::bottom_ = nullptr;

TEST_F(DeepChainTest, EveryModeAndThreadCountFindsTheGroupsWithFewOpenFiles) {
    ASSERT_EQ(files_->size(), 16u);
    ASSERT_EQ(files_->back(), *bottom_ + "/only.bin");
    const int openBefore = openFileCount();
    for (TDuplicateType mode : {dtMd5, dtMd5Part, dtFileName}) {
        for (unsigned threads : {1u, 2u}) {
            SCOPED_TRACE("mode " + std::to_string(static_cast<int>(mode)) + ", threads " +
                         std::to_string(threads));
            ScanOutcome out;
            {
                OpenFileLimit limit(kOpenFileLimit);
                ASSERT_TRUE(limit.ok());
                out = runScan({.mode = mode, .paths = {root()}, .hashThreads = threads});
            }
            ASSERT_TRUE(out.finished);
            EXPECT_EQ(countCode(out.reports, spFolderDone), kDepth + 1);
            EXPECT_EQ(collectedCount(out.reports), 16);
            EXPECT_EQ(normalized(brief(out.groups)), expected(mode));
            if (mode != dtFileName) {
                // Every file whose size another file shares was fingerprinted once,
                // the deepest ones included.
                const Strings hashed = hashedPaths(out.reports);
                EXPECT_EQ(std::set<std::string>(hashed.begin(), hashed.end()).size(),
                          hashed.size());
                EXPECT_EQ(hashed.size(), 15u) << "all but the one file of a unique size";
            }
            EXPECT_EQ(openFileCount(), openBefore) << "a handle was left open";
        }
    }
}

// The command's JSON output names every path of the bottom byte for byte, with the
// open files and the stack limited.
TEST_F(DeepChainTest, CommandWritesTheLongPathsAsJson) {
    for (const char* mode : {"full", "partial"}) {
        SCOPED_TRACE(mode);
        // A small stack too: a walk or a sort that recursed once per level would
        // overflow it.
        const std::string command = "ulimit -s " + std::to_string(kStackKiB) + " && exec " +
                                    std::string(PELIDOR_SCAN_BINARY) + " --quiet --mode " + mode +
                                    " --format json '" + root() + "' 2>&1";
        std::string output;
        int status = -1;
        {
            OpenFileLimit limit(kOpenFileLimit);
            ASSERT_TRUE(limit.ok());
            FILE* pipe = ::popen(command.c_str(), "r");
            ASSERT_NE(pipe, nullptr);
            char buffer[65536];
            size_t n = 0;
            while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
                output.append(buffer, n);
            status = ::pclose(pipe);
        }
        ASSERT_TRUE(WIFEXITED(status)) << output.substr(0, 500);
        ASSERT_EQ(WEXITSTATUS(status), 0) << output.substr(0, 500);
        Groups groups;
        try {
            const JsonValue doc = JsonReader::parse(output);
            for (const JsonValue& g : doc.at("groups").array()) {
                Strings paths;
                for (const JsonValue& f : g.at("files").array()) {
                    EXPECT_FALSE(f.has("path_base64")) << "the paths are plain UTF-8";
                    paths.push_back(f.at("path").str());
                }
                groups.push_back(paths);
            }
        } catch (const std::exception& e) {
            FAIL() << e.what() << ": " << output.substr(0, 500);
        }
        EXPECT_EQ(normalized(brief(groups)),
                  expected(std::string(mode) == "full" ? dtMd5 : dtMd5Part));
    }
}

// The chain under the walk's other entry: a scan that starts inside the chain, far
// below the path limit's reach, and one of several folders listed deep and shallow
// (the deep one lies inside the shallow one and is dropped).
TEST_F(DeepChainTest, StartingDeepInsideTheChain) {
    std::string deep = root();
    for (int i = 0; i < 2000; ++i)
        deep += "/" + levelName(i);
    ASSERT_GT(deep.size(), static_cast<size_t>(PATH_MAX));
    OpenFileLimit limit(kOpenFileLimit);
    ASSERT_TRUE(limit.ok());
    const auto out = runScan({.mode = dtMd5, .paths = {deep}, .hashThreads = 2});
    EXPECT_EQ(countCode(out.reports, spFolderDone), kDepth - 2000 + 1);
    // level.txt at 2000, 2500 and 3000; big copy.bin, bottom.bin, ends 2.bin, same.txt,
    // only.bin.
    EXPECT_EQ(collectedCount(out.reports), 8);
    EXPECT_EQ(normalized(brief(out.groups)),
              (Groups{{"L2000/level.txt", "L2500/level.txt", "L3000/level.txt"}}));

    const auto both = runScan({.mode = dtMd5, .paths = {deep, root()}, .hashThreads = 1});
    EXPECT_EQ(countCode(both.reports, spFolderDone), kDepth + 1);
    EXPECT_EQ(normalized(brief(both.groups)), expected(dtMd5));
}

// The small file operations behind the deletion reach a file beyond the path limit
// too: it exists, has its size, loses its read-only flag and is removed for real (a
// status call that failed on the path's length would make it look gone already). A
// short chain of long names is enough here, so this runs with the quick tests.
TEST(LongPathFileOps, StatusReadOnlyFlagAndRemoval) {
    TempTree tree;
    const std::string level(250, 'n');
    std::string folder = tree.root();
    int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dirFd, 0);
    struct Cleanup {
        const TempTree& tree;
        const std::string& level;
        ~Cleanup() {
            const int rootFd = ::open(tree.root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            EXPECT_TRUE(removeTreeIteratively(rootFd, level));
            ::close(rootFd);
        }
    } cleanup{tree, level};
    while (folder.size() <= PATH_MAX + 500) {
        ASSERT_EQ(::mkdirat(dirFd, level.c_str(), 0700), 0);
        const int next = ::openat(dirFd, level.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(dirFd);
        ASSERT_GE(next, 0);
        dirFd = next;
        folder += "/" + level;
    }
    struct CloseDir {
        int fd;
        ~CloseDir() { ::close(fd); }
    } closeDir{dirFd};
    const std::string file = folder + "/extra.bin";
    const std::string twin = folder + "/twin.bin";
    ASSERT_TRUE(writeAt(dirFd, "extra.bin", "12345"));
    ASSERT_EQ(::fchmodat(dirFd, "extra.bin", 0444, 0), 0);
    ASSERT_TRUE(writeAt(dirFd, "twin.bin", "12345"));

    EXPECT_TRUE(platform::pathExists(file));
    EXPECT_TRUE(platform::isRegularFile(file));
    EXPECT_TRUE(platform::pathExists(folder + "/"));
    EXPECT_FALSE(platform::isRegularFile(folder));
    int64_t size = 0;
    EXPECT_TRUE(platform::fileSize(file, size));
    EXPECT_EQ(size, 5);
    EXPECT_TRUE(platform::sameFile(file, file));
    EXPECT_FALSE(platform::sameFile(file, twin));
    EXPECT_FALSE(platform::isFileLocked(file));
    platform::addOwnerWrite(file);
    struct stat st {};
    ASSERT_EQ(::fstatat(dirFd, "extra.bin", &st, AT_SYMLINK_NOFOLLOW), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    int error = 0;
    EXPECT_TRUE(platform::removeFile(file, &error)) << error;
    EXPECT_NE(::fstatat(dirFd, "extra.bin", &st, AT_SYMLINK_NOFOLLOW), 0) << "still there";
    errno = 0;
    EXPECT_FALSE(platform::pathExists(file));
    EXPECT_EQ(errno, ENOENT);
    error = 0;
    EXPECT_FALSE(platform::removeFile(file, &error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_TRUE(platform::pathExists(twin)) << "only the one file went";
}

} // namespace
} // namespace pelidor::test
