// Restoring a backup archive: the input is the archive's bytes. Entry names are absolute
// paths, so the archive is confined to a private folder: every occurrence of the
// placeholder "/dev/shm/pfz-XXXXXX/root" in the input is replaced by the real folder
// (a name of the same length), and an archive naming any other absolute path is not
// restored. Relative names and names with "." or ".." components may stand anywhere:
// the restore must refuse them, and that is checked before it runs.
//
// The folder holds, before each run, a file that may be replaced, a read-only file, a
// folder, a link to a file in a sibling canary folder and a dangling link into it.
//
// Properties after each restore:
// - every entry is counted once: written, declined or failed;
// - the canary folder is untouched, the links still point where they did, the
//   read-only file and (unless the question said yes) the replaceable file keep their
//   content;
// - nothing but the archive, the canary folder and the root exists beside the root;
// - no temporary file (".pelidor-restore-...") is left anywhere.
#include "backup/BackupArchive.h"
#include "tests/fuzz/FuzzSupport.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using pelidor::backup::IsSafeArchivePath;
using pelidor::backup::RestoreBackupArchive;

namespace {

constexpr std::string_view kPlaceholder = "/dev/shm/pfz-XXXXXX/root";

struct Scene {
    std::string work;    // the private folder
    std::string root;    // work + "/root": where entries may go
    std::string canary;  // work + "/canary": must never change
    std::string archive; // work + "/archive.zip"
};

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeAll(const std::string& path, std::string_view bytes, mode_t mode) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::perror(path.c_str());
        std::abort();
    }
    FUZZ_CHECK(::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()));
    ::fchmod(fd, mode);
    ::close(fd);
}

void removeWork() {
    // Set in LLVMFuzzerInitialize; removed when the run ends normally.
    if (const char* work = std::getenv("PELIDOR_FUZZ_RESTORE_WORK")) {
        std::error_code ec;
        fs::remove_all(work, ec);
    }
}

Scene makeScene() {
    // /dev/shm keeps the forced writes cheap; /tmp with a name of the same length else.
    std::string tmpl = "/dev/shm/pfz-XXXXXX";
    if (::access("/dev/shm", W_OK) != 0)
        tmpl = "/tmp/pfz-XXXXXXXXXX";
    if (::mkdtemp(tmpl.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    Scene s{tmpl, tmpl + "/root", tmpl + "/canary", tmpl + "/archive.zip"};
    FUZZ_CHECK(s.root.size() == kPlaceholder.size());
    ::setenv("PELIDOR_FUZZ_RESTORE_WORK", s.work.c_str(), 1);
    std::atexit(removeWork);
    fs::create_directory(s.canary);
    writeAll(s.canary + "/target.txt", "canary\n", 0644);
    return s;
}

const Scene& scene() {
    static const Scene s = makeScene();
    return s;
}

void resetRoot(const Scene& s) {
    std::error_code ec;
    fs::remove_all(s.root, ec);
    FUZZ_CHECK(!ec);
    fs::create_directory(s.root);
    writeAll(s.root + "/existing.txt", "old\n", 0644);
    writeAll(s.root + "/readonly.txt", "keep\n", 0444);
    fs::create_directory(s.root + "/folder");
    FUZZ_CHECK(::symlink("../canary/target.txt", (s.root + "/link").c_str()) == 0);
    FUZZ_CHECK(::symlink("../canary/new.txt", (s.root + "/dangling").c_str()) == 0);
}

std::string linkTarget(const std::string& path) {
    char buffer[256];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    return n < 0 ? std::string() : std::string(buffer, static_cast<size_t>(n));
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string_view name = e->d_name;
            if (name != "." && name != "..")
                names.emplace_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool hasDotComponent(std::string_view name) {
    for (const std::string& part : pelidor::fuzz::splitParts(name, '/'))
        if (part == "." || part == "..")
            return true;
    return false;
}

// Whether the archive may be restored here: libzip (opened exactly as the restore does)
// lists no absolute name outside the root. Names the restore must refuse are checked.
bool confined(const Scene& s, size_t& entries, bool& opened) {
    int error = 0;
    zip_t* za = ::zip_open(s.archive.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    opened = za != nullptr;
    entries = 0;
    if (za == nullptr)
        return true;
    const zip_int64_t count = ::zip_get_num_entries(za, 0);
    entries = count > 0 ? static_cast<size_t>(count) : 0;
    bool ok = true;
    const std::string inside = s.root + "/";
    for (zip_int64_t i = 0; i < count && ok; ++i) {
        const char* raw = ::zip_get_name(za, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        if (raw == nullptr)
            continue;
        const std::string name = raw;
        if (name.empty() || name.front() != '/' || hasDotComponent(name))
            FUZZ_CHECK(!IsSafeArchivePath(name));
        else if (name.rfind(inside, 0) != 0)
            ok = false;
    }
    ::zip_discard(za);
    return ok;
}

void checkNoTemporaryFiles(const std::string& folder) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        FUZZ_CHECK(name.rfind(".pelidor-restore-", 0) != 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Scene& s = scene();
    std::string bytes(pelidor::fuzz::asText(data, size));
    for (size_t at = bytes.find(kPlaceholder); at != std::string::npos;
         at = bytes.find(kPlaceholder, at + s.root.size()))
        bytes.replace(at, kPlaceholder.size(), s.root);

    resetRoot(s);
    writeAll(s.archive, bytes, 0644);
    size_t entries = 0;
    bool opened = false;
    if (!confined(s, entries, opened))
        return 0;

    bool replacedExisting = false;
    const std::string existing = s.root + "/existing.txt";
    const auto ask = [&](const std::string& destination) {
        const bool yes = destination.size() % 2 == 0;
        if (destination == existing && yes)
            replacedExisting = true;
        return yes;
    };
    const pelidor::backup::RestoreReport report = RestoreBackupArchive(s.archive, ask);

    if (std::getenv("PELIDOR_FUZZ_VERBOSE") != nullptr) {
        std::fprintf(stderr, "entries %zu written %zu declined %zu failures %zu\n", report.entries,
                     report.written, report.declined, report.failures.size());
        for (const auto& f : report.failures)
            std::fprintf(stderr, "  %s: problem %d error %d\n", f.path.c_str(),
                         static_cast<int>(f.problem), f.error);
    }
    if (opened) {
        FUZZ_CHECK(report.entries == entries);
        FUZZ_CHECK(report.written + report.declined + report.failures.size() == entries);
    } else {
        FUZZ_CHECK(report.written == 0 && report.failures.size() == 1);
    }
    FUZZ_CHECK(namesIn(s.work) == (std::vector<std::string>{"archive.zip", "canary", "root"}));
    FUZZ_CHECK(namesIn(s.canary) == std::vector<std::string>{"target.txt"});
    FUZZ_CHECK(readAll(s.canary + "/target.txt") == "canary\n");
    FUZZ_CHECK(linkTarget(s.root + "/link") == "../canary/target.txt");
    FUZZ_CHECK(linkTarget(s.root + "/dangling") == "../canary/new.txt");
    FUZZ_CHECK(readAll(s.root + "/readonly.txt") == "keep\n");
    if (!replacedExisting)
        FUZZ_CHECK(readAll(existing) == "old\n");
    checkNoTemporaryFiles(s.root);
    return 0;
}
