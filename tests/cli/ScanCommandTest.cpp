// Runs the built pelidor-scan program on real temporary trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <set>
#include <spawn.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/cli/MiniJson.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/PrivateMount.h"
#include "tests/support/TempTree.h"

extern char** environ;

namespace pelidor::test {
namespace {

using namespace std::chrono_literals;
using Groups = std::set<std::set<std::string>>;

struct Outcome {
    bool exited = false; // false: ended by a signal or timed out
    int status = -1;
    std::string out;
    std::string err;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A cache folder for the spawned programs, made once and kept by this test program.
const std::string& testCacheHome() {
    static const std::string folder = [] {
        static TempTree tree;
        return tree.path("cache");
    }();
    return folder;
}

// Starts the program with stdout in `outFile`, stderr in `errPath` (a file or a
// terminal), stdin from /dev/null, TZ=UTC and the working folder `cwd`.
// `runner`, when given, is a program (full path and its arguments) that runs the
// command, as in "strace ... pelidor-scan ...".
pid_t spawnScan(const std::vector<std::string>& args, const std::string& outFile,
                const std::string& errPath, const std::string& cwd = {},
                const std::vector<std::string>& runner = {}) {
    std::vector<std::string> argStore = runner;
    argStore.push_back(PELIDOR_SCAN_BINARY);
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStore;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::string_view(*e).rfind("TZ=", 0) != 0 &&
            std::string_view(*e).rfind("XDG_CACHE_HOME=", 0) != 0)
            envStore.emplace_back(*e);
    envStore.emplace_back("TZ=UTC");
    // The default fingerprint cache of these runs: one of this test program's own.
    envStore.emplace_back("XDG_CACHE_HOME=" + testCacheHome());
    std::vector<char*> envp;
    for (auto& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int errFlags =
        errPath.rfind("/dev/", 0) == 0 ? O_RDWR | O_NOCTTY : O_WRONLY | O_CREAT | O_TRUNC;
    posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), errFlags, 0600);
    if (!cwd.empty())
        posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0)
        throw std::runtime_error("cannot start " + std::string(argv[0]));
    return pid;
}

// Waits for the child; kills it after `timeout`. `onTick` runs while waiting.
template <class Tick>
void waitChild(pid_t pid, Outcome& o, std::chrono::seconds timeout, Tick onTick) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            o.exited = WIFEXITED(status);
            o.status = o.exited ? WEXITSTATUS(status) : -WTERMSIG(status);
            return;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            ADD_FAILURE() << "pelidor-scan did not end within " << timeout.count() << " s";
            return;
        }
        onTick();
        std::this_thread::sleep_for(10ms);
    }
}

class ScanCommand : public ::testing::Test {
protected:
    TempTree io; // outputs live outside the scanned trees

    Outcome run(const std::vector<std::string>& args, const std::string& cwd = {},
                const std::vector<std::string>& runner = {}) {
        Outcome o;
        const std::string out = io.path("out"), err = io.path("err");
        const pid_t pid = spawnScan(args, out, err, cwd, runner);
        waitChild(pid, o, 120s, [] {});
        o.out = readFile(out);
        o.err = readFile(err);
        return o;
    }

    // The groups of a JSON run as sets of paths.
    static Groups jsonGroups(const Outcome& o) {
        Groups groups;
        const auto doc = JsonReader::parse(o.out);
        for (const auto& g : doc.at("groups").array()) {
            std::set<std::string> files;
            for (const auto& f : g.at("files").array())
                files.insert(f.at("path").str());
            EXPECT_EQ(files.size(), g.at("files").array().size()) << "a path listed twice";
            groups.insert(files);
        }
        return groups;
    }
};

// A tree with one kind of duplicate for each mode; files have a fixed mtime.
struct ModeTree {
    TempTree t;
    ModeTree() {
        t.writeSized("a/photo.jpg", 100, 1);
        t.writeSized("b/Photo.JPG", 100, 2); // same name in other letter case
        t.writeSized("a/same1.bin", 5000, 3);
        t.writeSized("b/same2.bin", 5000, 3);
        std::string ht1 = seededContent(10000, 4), ht2 = ht1;
        for (size_t i = 2000; i < 7000; ++i)
            ht2[i] = static_cast<char>(ht2[i] ^ 0x5A); // same head and tail
        t.write("c/ht1.dat", ht1);
        t.write("c/ht2.dat", ht2);
        t.write("a/zero", "");
        t.write("b/zero", "");
        t.write("c/other", "");
        t.writeSized("c/unique.bin", 777, 5);
        for (const char* f : {"a/photo.jpg", "b/Photo.JPG", "a/same1.bin", "b/same2.bin",
                              "c/ht1.dat", "c/ht2.dat", "a/zero", "b/zero", "c/other"})
            t.setMTime(f, 1700000000); // 2023-11-14T22:13:20 UTC
    }
    std::string p(std::string_view rel) const { return t.path(rel); }
};

TEST_F(ScanCommand, EachModeFindsItsGroups) {
    ModeTree m;
    const Groups photo{{m.p("a/photo.jpg"), m.p("b/Photo.JPG")}};
    const Groups same{{m.p("a/same1.bin"), m.p("b/same2.bin")}};
    const Groups headTail{{m.p("c/ht1.dat"), m.p("c/ht2.dat")}};
    const struct {
        std::string mode;
        Groups expected;
    } cases[] = {
        {"name", {*photo.begin(), {m.p("a/zero"), m.p("b/zero")}}},
        {"partial", {*same.begin(), *headTail.begin()}},
        {"full", same},
        {"empty", {{m.p("a/zero"), m.p("b/zero"), m.p("c/other")}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        const Outcome o = run({"--mode=" + c.mode, "--format", "json", m.t.root()});
        ASSERT_TRUE(o.exited);
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.err, ""); // not a terminal: no progress line
        EXPECT_EQ(jsonGroups(o), c.expected);
        EXPECT_EQ(JsonReader::parse(o.out).at("mode").str(), c.mode);
    }
}

TEST_F(ScanCommand, CacheOptionsChooseTheFingerprintCache) {
    // The default cache, one named with --cache (relative to the working folder), or
    // none: the groups are the same each time, and a second run with the cache too.
    ModeTree m;
    const std::string defaultCache = testCacheHome() + "/pelidor/fingerprints.sqlite";
    const std::string named = io.path("named.sqlite");
    std::filesystem::remove(defaultCache);
    const Groups same{{m.p("a/same1.bin"), m.p("b/same2.bin")}};
    const struct {
        std::vector<std::string> options;
        std::string expectedFile; // empty: no cache file is made
    } cases[] = {
        {{"--no-cache"}, ""},
        {{"--cache", "named.sqlite"}, named},
        {{}, defaultCache},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.empty() ? "default" : c.options.front());
        for (int round = 0; round < 2; ++round) {
            std::vector<std::string> args = c.options;
            args.insert(args.end(), {"--format", "json", m.t.root()});
            const Outcome o = run(args, io.root());
            ASSERT_TRUE(o.exited);
            EXPECT_EQ(o.status, 0);
            EXPECT_EQ(jsonGroups(o), same);
        }
        if (c.expectedFile.empty())
            EXPECT_FALSE(pathExists(defaultCache));
        else
            EXPECT_TRUE(pathExists(c.expectedFile));
    }
}

TEST_F(ScanCommand, FiltersReachTheEngine) {
    ModeTree m;
    const struct {
        std::vector<std::string> args;
        Groups expected;
    } cases[] = {
        {{"--mode=name", "--include=*.JPG"}, {{m.p("a/photo.jpg"), m.p("b/Photo.JPG")}}},
        {{"--mode=name", "--include", "x*", "--include", "*.jpg;zer?"},
         {{m.p("a/photo.jpg"), m.p("b/Photo.JPG")}, {m.p("a/zero"), m.p("b/zero")}}},
        {{"--mode=name", "--exclude=*.jpg;zero"}, {}},
        {{"--mode=partial", "--exclude-dir", m.p("c")}, {{m.p("a/same1.bin"), m.p("b/same2.bin")}}},
        {{"--mode=partial", "--min-size=6K"}, {{m.p("c/ht1.dat"), m.p("c/ht2.dat")}}},
        {{"--mode=partial", "--max-size=5000"}, {{m.p("a/same1.bin"), m.p("b/same2.bin")}}},
        {{"--mode=name", "--max-size=0"}, {{m.p("a/zero"), m.p("b/zero")}}},
        {{"--mode=empty", "--min-size=1K"}, {{m.p("a/zero"), m.p("b/zero"), m.p("c/other")}}},
    };
    for (const auto& c : cases) {
        auto args = c.args;
        args.insert(args.end(), {"--format=json", m.t.root()});
        SCOPED_TRACE(::testing::PrintToString(args));
        const Outcome o = run(args);
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(jsonGroups(o), c.expected);
    }
}

TEST_F(ScanCommand, TextAndCsvOutput) {
    ModeTree m;
    Outcome o = run({"--mode", "partial", m.t.root()});
    EXPECT_EQ(o.status, 0);
    // Two paragraphs of two paths; the smaller files come first.
    std::istringstream lines(o.out);
    std::vector<std::string> got;
    for (std::string line; std::getline(lines, line);)
        got.push_back(line);
    ASSERT_EQ(got.size(), 5u) << o.out;
    EXPECT_EQ(got[2], "");
    EXPECT_EQ((std::set<std::string>{got[0], got[1]}),
              (std::set<std::string>{m.p("a/same1.bin"), m.p("b/same2.bin")}));
    EXPECT_EQ((std::set<std::string>{got[3], got[4]}),
              (std::set<std::string>{m.p("c/ht1.dat"), m.p("c/ht2.dat")}));

    o = run({"--mode=full", "--format=csv", m.t.root()});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out.rfind("group,path,size,mtime,ctime\r\n", 0), 0u) << o.out;
    EXPECT_NE(o.out.find("1," + m.p("a/same1.bin") + ",5000,2023-11-14T22:13:20,"),
              std::string::npos)
        << o.out;
    EXPECT_NE(o.out.find("1," + m.p("b/same2.bin") + ",5000,2023-11-14T22:13:20,"),
              std::string::npos);
}

// --reference marks the files inside the folder in every format: a folder nested in
// the searched one, a searched folder inside it (every file marked), and a spelling
// through a link. Without it the output carries no marks.
TEST_F(ScanCommand, ReferenceFoldersAreMarked) {
    ModeTree m;
    m.t.symlink(m.p("b"), "link-to-b");
    const std::string a = m.p("a/same1.bin"), b = m.p("b/same2.bin");

    Outcome o = run({"--reference", m.p("b"), m.t.root()});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("\n[ref] " + b + "\n"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find(a + "\n"), std::string::npos);
    EXPECT_EQ(o.out.find("[ref] " + a), std::string::npos);

    o = run({"--format=csv", "--reference=" + m.p("link-to-b"), m.t.root()});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out.rfind("group,path,size,mtime,ctime,reference\r\n", 0), 0u) << o.out;
    EXPECT_NE(o.out.find(b + ",5000,2023-11-14T22:13:20,"), std::string::npos);
    for (std::istringstream lines(o.out); !lines.eof();) {
        std::string line;
        std::getline(lines, line);
        if (line.find(b) != std::string::npos) {
            EXPECT_TRUE(line.ends_with(",true\r")) << line;
        } else if (line.find(a) != std::string::npos) {
            EXPECT_TRUE(line.ends_with(",false\r")) << line;
        }
    }

    // The searched folder lies inside the reference folder, given twice.
    o = run({"--format", "json", "--reference", m.t.root(), "--reference", m.p("c"), m.p("a"),
             m.p("b")});
    EXPECT_EQ(o.status, 0) << o.err;
    const auto doc = JsonReader::parse(o.out);
    int files = 0;
    for (const auto& g : doc.at("groups").array())
        for (const auto& f : g.at("files").array()) {
            ++files;
            EXPECT_TRUE(std::get<bool>(f.at("reference").v)) << f.at("path").str();
        }
    EXPECT_GT(files, 0);

    // No reference folder: no marks, no column, no key.
    o = run({"--format", "json", m.t.root()});
    const auto plain = JsonReader::parse(o.out);
    for (const auto& g : plain.at("groups").array())
        for (const auto& f : g.at("files").array())
            EXPECT_FALSE(f.has("reference"));
    o = run({"--format=csv", m.t.root()});
    EXPECT_EQ(o.out.rfind("group,path,size,mtime,ctime\r\n", 0), 0u);

    o = run({"--reference", m.p("missing"), m.t.root()});
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_NE(o.err.find("missing' does not exist"), std::string::npos) << o.err;
}

TEST_F(ScanCommand, FoldersBecomeAbsoluteAndMayBeLinks) {
    ModeTree m;
    io.symlink(m.t.root(), "tree-link");
    const std::string link = io.path("tree-link");
    const Groups expectedHere{{m.p("a/same1.bin"), m.p("b/same2.bin")}};

    // A relative folder, given twice and inside itself: each file is listed once.
    Outcome o = run({"--format=json", ".", "./a/", "b/.."}, m.t.root());
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(jsonGroups(o), expectedHere);

    o = run({"--format=json", link + "/"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(jsonGroups(o), (Groups{{link + "/a/same1.bin", link + "/b/same2.bin"}}));
}

// A folder and a link to it (or to a folder inside it) are one folder: no file is
// reported as a duplicate of itself, and the spelling given first stays.
TEST_F(ScanCommand, AFolderAndALinkToItListEachFileOnce) {
    ModeTree m;
    io.symlink(m.t.root(), "tree-link");
    io.symlink(m.p("b"), "b-link");
    const std::string link = io.path("tree-link");
    const struct {
        std::vector<std::string> folders;
        Groups expected;
    } cases[] = {
        {{m.t.root(), link}, {{m.p("a/same1.bin"), m.p("b/same2.bin")}}},
        {{link, m.t.root()}, {{link + "/a/same1.bin", link + "/b/same2.bin"}}},
        {{io.path("b-link"), m.t.root()}, {{m.p("a/same1.bin"), m.p("b/same2.bin")}}},
    };
    for (const auto& c : cases) {
        auto args = c.folders;
        args.insert(args.begin(), "--format=json");
        SCOPED_TRACE(::testing::PrintToString(args));
        const Outcome o = run(args);
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(jsonGroups(o), c.expected);
    }
    // Every mode: still no file grouped with itself.
    for (const char* mode : {"name", "partial", "empty"}) {
        SCOPED_TRACE(mode);
        const Outcome o = run({"--format=json", std::string("--mode=") + mode, m.t.root(), link});
        EXPECT_EQ(o.status, 0) << o.err;
        for (const auto& group : jsonGroups(o))
            for (const auto& path : group)
                EXPECT_EQ(path.rfind(link, 0), std::string::npos) << path;
    }
}

// A disk the desktop mounted under /run/media is scanned. /run is replaced by a tmpfs
// of the test's own (in a private mount namespace, which the program inherits), and
// the disk is a second tmpfs below it.
TEST_F(ScanCommand, ADiskUnderRunMediaIsScanned) {
    namespace fs = std::filesystem;
    if (!fs::is_directory("/run"))
        GTEST_SKIP() << "no /run folder here";
    PrivateMount runFolder = PrivateMount::fileSystem("tmpfs", "/run", "size=1m,mode=0755");
    if (!runFolder.mounted())
        GTEST_SKIP() << runFolder.error();
    const std::string disk = "/run/media/tester/DISK";
    fs::create_directories(disk);
    PrivateMount media = PrivateMount::fileSystem("tmpfs", disk, "size=1m");
    ASSERT_TRUE(media.mounted()) << media.error();
    for (const char* name : {"/a.jpg", "/photos/b.jpg"}) {
        fs::create_directories(fs::path(disk + name).parent_path());
        std::ofstream(disk + name, std::ios::binary) << "the same picture";
    }
    const Outcome o = run({"--format=json", disk});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(jsonGroups(o), (Groups{{disk + "/a.jpg", disk + "/photos/b.jpg"}}));
    media.unmount();
    runFolder.unmount();
}

TEST_F(ScanCommand, BadInputExitsWithTwoAndOneLine) {
    ModeTree m;
    const std::string root = m.t.root();
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "no folder given"},
        {{"--bogus", root}, "unknown option '--bogus'"},
        {{"--mode=fast", root}, "unknown mode 'fast'"},
        {{"--format", "xml", root}, "unknown format 'xml'"},
        {{"--min-size=ten", root}, "invalid size 'ten'"},
        {{"--min-size=-1", root}, "must not be negative"},
        {{"--max-size=99999999999G", root}, "invalid size"},
        {{root, "--mode"}, "option --mode needs a value"},
        {{root, root + "/missing"}, "'" + root + "/missing' does not exist"},
        {{m.p("a/zero")}, "is not a folder"},
        {{root + "/new\nline"}, "new\\nline' does not exist"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const Outcome o = run(args);
        ASSERT_TRUE(o.exited);
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err.rfind("pelidor-scan: ", 0), 0u) << o.err;
        EXPECT_NE(o.err.find(message), std::string::npos) << o.err;
        EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
        EXPECT_EQ(o.err.back(), '\n');
    }
}

TEST_F(ScanCommand, NoDuplicatesIsStillSuccess) {
    TempTree t;
    t.writeSized("one", 10, 1);
    t.writeSized("two", 20, 2);
    t.writeSized("sub/three", 10, 3);
    for (const char* format : {"text", "csv", "json"}) {
        const Outcome o = run({"--format", format, t.root()});
        EXPECT_EQ(o.status, 0) << format;
        EXPECT_EQ(o.err, "");
        if (std::string_view(format) == "text")
            EXPECT_EQ(o.out, "");
        else if (std::string_view(format) == "csv")
            EXPECT_EQ(o.out, "group,path,size,mtime,ctime\r\n");
        else
            EXPECT_TRUE(JsonReader::parse(o.out).at("groups").array().empty());
    }
}

TEST_F(ScanCommand, HelpAndVersion) {
    Outcome o = run({"--help"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out.rfind("Usage: pelidor-scan [options] FOLDER...", 0), 0u);
    EXPECT_EQ(o.err, "");
    o = run({"--version"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, std::string("pelidor-scan ") + PELIDOR_VERSION_TEXT + "\n");
}

// ---- stop signals and the progress line --------------------------------------------

// Many large files of one size, all holes, so that fingerprinting takes a while and
// costs no disk space.
struct SlowTree {
    TempTree t;
    SlowTree() {
        for (int i = 0; i < 64; ++i) {
            const std::string p = t.path("f" + std::to_string(i) + ".bin");
            const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            EXPECT_GE(fd, 0);
            EXPECT_EQ(::ftruncate(fd, 64LL << 20), 0);
            ::close(fd);
        }
    }
};

struct Terminal {
    int master = -1;
    std::string slave;
    std::string seen;

    explicit Terminal(unsigned short columns) {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            throw std::runtime_error("no pseudo-terminal");
        slave = ::ptsname(master);
        winsize ws{};
        ws.ws_row = 24;
        ws.ws_col = columns;
        ::ioctl(master, TIOCSWINSZ, &ws);
    }
    ~Terminal() { ::close(master); }

    void drain() {
        pollfd p{master, POLLIN, 0};
        char buf[4096];
        while (::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0) {
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0)
                return;
            seen.append(buf, static_cast<size_t>(n));
        }
    }
};

bool haveTerminal() {
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}

TEST_F(ScanCommand, StopSignalEndsTheScanWithNoOutput) {
    if (!haveTerminal())
        GTEST_SKIP() << "no pseudo-terminal on this machine";
    SlowTree slow;
    for (const int signo : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signo);
        Terminal term(50);
        const pid_t pid = spawnScan({"--mode=full", slow.t.root()}, io.path("out"), term.slave);
        bool signalled = false;
        Outcome o;
        waitChild(pid, o, 120s, [&] {
            term.drain();
            // The progress line shows that the scan is fingerprinting: stop it now.
            if (!signalled && term.seen.find("fingerprinted") != std::string::npos) {
                ::kill(pid, signo);
                signalled = true;
            }
        });
        term.drain();
        EXPECT_TRUE(signalled) << term.seen;
        EXPECT_TRUE(o.exited);
        EXPECT_EQ(o.status, 130);
        EXPECT_EQ(readFile(io.path("out")), "");

        // Each redraw fits in 49 columns and the last one clears the line.
        ASSERT_GE(term.seen.size(), 4u);
        EXPECT_EQ(term.seen.substr(term.seen.size() - 4), "\r\x1b[K");
        std::istringstream parts(term.seen);
        for (std::string part; std::getline(parts, part, '\r');) {
            const auto esc = part.find("\x1b[K");
            const std::string shown = part.substr(0, esc);
            EXPECT_LE(shown.size(), 49u) << shown;
            EXPECT_EQ(shown.find('\n'), std::string::npos);
        }
        EXPECT_NE(term.seen.find("64 files collected, "), std::string::npos) << term.seen;
    }
}

TEST_F(ScanCommand, QuietShowsNoProgressOnATerminal) {
    if (!haveTerminal())
        GTEST_SKIP() << "no pseudo-terminal on this machine";
    SlowTree slow;
    Terminal term(80);
    const pid_t pid =
        spawnScan({"--quiet", "--mode=full", slow.t.root()}, io.path("out"), term.slave);
    const auto start = std::chrono::steady_clock::now();
    bool signalled = false;
    Outcome o;
    waitChild(pid, o, 120s, [&] {
        term.drain();
        if (!signalled && std::chrono::steady_clock::now() - start > 500ms) {
            ::kill(pid, SIGINT);
            signalled = true;
        }
    });
    term.drain();
    EXPECT_EQ(o.status, 130);
    EXPECT_EQ(term.seen, "");
    EXPECT_EQ(readFile(io.path("out")), "");
}

// A system whose OpenSSL refuses MD5 (a configuration that loads no provider with it):
// the content modes say so at the start, exit 2 with one line and scan nothing; the
// modes without fingerprints still run.
TEST_F(ScanCommand, ContentModesWithoutMd5ExitWithTwoAndOneLine) {
    ModeTree m;
    const std::string conf = io.write("no-md5.cnf", "openssl_conf = openssl_init\n"
                                                    "[openssl_init]\n"
                                                    "providers = provider_sect\n"
                                                    "[provider_sect]\n"
                                                    "base = base_sect\n"
                                                    "[base_sect]\n"
                                                    "activate = 1\n");
    EnvGuard env;
    env.set("OPENSSL_CONF", conf);
    for (const char* mode : {"full", "partial"}) {
        SCOPED_TRACE(mode);
        const Outcome o = run({std::string("--mode=") + mode, m.t.root()});
        ASSERT_TRUE(o.exited);
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err.rfind("pelidor-scan: MD5 is not available", 0), 0u) << o.err;
        EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    }
    const Outcome o = run({"--mode=name", "--format=json", m.t.root()});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(jsonGroups(o),
              (Groups{{m.p("a/photo.jpg"), m.p("b/Photo.JPG")}, {m.p("a/zero"), m.p("b/zero")}}));
}

// A folder listing that fails part way keeps the entries read before the failure: the
// listing's second read of the folder fails with an input/output error (injected by
// strace into the real system call), after the first one returned every entry.
TEST_F(ScanCommand, ListingThatFailsPartWayKeepsWhatWasRead) {
    if (::access("/usr/bin/strace", X_OK) != 0)
        GTEST_SKIP() << "strace is not installed";
    TempTree t;
    t.writeSized("one.bin", 100, 1);
    t.writeSized("two.bin", 100, 1);
    t.writeSized("other.bin", 50, 2);
    const std::vector<std::string> strace{"/usr/bin/strace",
                                          "-f",
                                          "-qq",
                                          "-o",
                                          "/dev/null",
                                          "-e",
                                          "trace=getdents64",
                                          "-e",
                                          "inject=getdents64:error=EIO:when=2"};
    const Outcome probe =
        run({"--mode=name", t.root()}, {}, {"/usr/bin/strace", "-o", "/dev/null", "/bin/true"});
    if (probe.status != 0)
        GTEST_SKIP() << "strace cannot trace here: " << probe.err;
    const Outcome o = run({"--mode=full", "--format=json", t.root()}, {}, strace);
    ASSERT_TRUE(o.exited);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(jsonGroups(o), (Groups{{t.path("one.bin"), t.path("two.bin")}}));
}

// Ctrl-C while a sparse file of 400 GB is being fingerprinted ends the command at once
// (status 130, nothing written): the file in hand is given up between two blocks instead
// of being hashed to its end, which takes a quarter of an hour or more on any machine.
// The signal comes once the command has the large file open.
TEST_F(ScanCommand, StopSignalEndsHashingOfALargeFile) {
    constexpr int64_t kLarge = int64_t{400} << 30;
    TempTree t;
    for (const char* name : {"big1.img", "big2.img"}) {
        const std::string path = t.write(name, "");
        if (::truncate(path.c_str(), kLarge) != 0)
            GTEST_SKIP() << "no sparse file of 50 GB here";
    }
    const pid_t pid = spawnScan({"--mode=full", t.root()}, io.path("out"), io.path("err"));
    const auto hasBigFileOpen = [&] {
        const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(fds, ec)) {
            std::error_code ignored;
            const auto target = std::filesystem::read_symlink(e.path(), ignored).string();
            if (target.find("/big") != std::string::npos)
                return true;
        }
        return false;
    };
    bool signalled = false;
    Outcome o;
    // Far shorter than hashing 400 GB takes on any machine, and far longer than a stop.
    waitChild(pid, o, 120s, [&] {
        if (!signalled && hasBigFileOpen()) {
            ::kill(pid, SIGINT);
            signalled = true;
        }
    });
    EXPECT_TRUE(signalled);
    EXPECT_TRUE(o.exited);
    EXPECT_EQ(o.status, 130);
    EXPECT_EQ(readFile(io.path("out")), "");
}

// A command whose threads the system refuses to create fails clearly (status 1, one
// line, no result) instead of crashing or reporting an empty result. (The command is
// started with a stack limit larger than the address space, which its C library takes as
// the size of every new thread's stack. Its first thread is the signal watcher's; the
// scan's own refused worker is the engine tests' matter.)
TEST_F(ScanCommand, ScanThatCannotStartItsThreadFails) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizers' runtimes cannot lay out their memory under such a stack limit.
    GTEST_SKIP() << "not under a sanitizer";
#endif
    ModeTree m;
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_STACK, &saved), 0);
    struct rlimit huge = saved;
    huge.rlim_cur = rlim_t{1} << 60;
    if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < huge.rlim_cur)
        GTEST_SKIP() << "the stack limit cannot be raised here";
    ASSERT_EQ(::setrlimit(RLIMIT_STACK, &huge), 0);
    Outcome o;
    const pid_t pid = spawnScan({"--mode=name", m.t.root()}, io.path("out"), io.path("err"));
    ::setrlimit(RLIMIT_STACK, &saved);
    waitChild(pid, o, 120s, [] {});
    o.out = readFile(io.path("out"));
    o.err = readFile(io.path("err"));
    ASSERT_TRUE(o.exited);
    EXPECT_EQ(o.status, 1) << o.out;
    EXPECT_EQ(o.out, "");
    EXPECT_TRUE(o.err == "pelidor-scan: cannot set up signal handling\n" ||
                o.err == "pelidor-scan: cannot start the scan: the system refused to create "
                         "its thread\n")
        << o.err;
}

} // namespace
} // namespace pelidor::test
