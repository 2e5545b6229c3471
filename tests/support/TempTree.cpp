#include "tests/support/TempTree.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace pelidor::test {
namespace {

void makeWritable(const fs::path& root) {
    std::error_code ec;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(
             root, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
}

} // namespace

TempTree::TempTree() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/pelidor-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
}

TempTree::~TempTree() {
    std::error_code ec;
    makeWritable(root_);
    fs::remove_all(root_, ec);
}

std::string TempTree::path(std::string_view relative) const {
    return relative.empty() ? root_ : root_ + "/" + std::string(relative);
}

std::string TempTree::mkdir(std::string_view relative) const {
    const std::string p = path(relative);
    fs::create_directories(p);
    return p;
}

std::string TempTree::write(std::string_view relative, std::string_view content) const {
    const std::string p = path(relative);
    fs::create_directories(fs::path(p).parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("cannot write " + p);
    return p;
}

std::string TempTree::writeSized(std::string_view relative, int64_t size, uint32_t seed) const {
    return write(relative, seededContent(size, seed));
}

void TempTree::setMTime(std::string_view relative, int64_t seconds) const {
    const std::string p = path(relative);
    timespec times[2] = {{seconds, 0}, {seconds, 0}};
    if (::utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::runtime_error("cannot set the time of " + p);
}

void TempTree::symlink(std::string_view target, std::string_view relative) const {
    const std::string p = path(relative);
    fs::create_directories(fs::path(p).parent_path());
    if (::symlink(std::string(target).c_str(), p.c_str()) != 0)
        throw std::runtime_error("cannot link " + p);
}

std::string seededContent(int64_t size, uint32_t seed) {
    std::string s(static_cast<size_t>(size), '\0');
    uint64_t x = 0x9E3779B97F4A7C15ull ^ seed;
    for (auto& c : s) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        c = static_cast<char>(x & 0xFF);
    }
    return s;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool pathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool runningAsRoot() {
    return ::geteuid() == 0;
}

std::vector<std::string> folderNames(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace pelidor::test
