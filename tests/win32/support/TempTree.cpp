// Temporary folder trees for the Windows tests: the same helpers as on Linux, over the
// Windows API (UTF-8 paths with backslashes, long-path forms inside).
#include "tests/support/TempTree.h"

#include <algorithm>
#include <stdexcept>
#include <windows.h>

#include "platform/FileOps.h"
#include "platform/win32/WinText.h"

namespace pelidor::test {
namespace {

using platform::win32::longPath;
using platform::win32::toUtf8;
using platform::win32::toWide;

std::string native(std::string_view relative) {
    std::string out(relative);
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

void makeParents(const std::string& path) {
    const auto cut = path.rfind('\\');
    if (cut != std::string::npos && cut > 2) {
        const std::wstring parent = longPath(path.substr(0, cut));
        if (GetFileAttributesW(parent.c_str()) == INVALID_FILE_ATTRIBUTES)
            makeParents(path.substr(0, cut));
        CreateDirectoryW(parent.c_str(), nullptr);
    }
}

} // namespace

TempTree::TempTree() {
    wchar_t temp[MAX_PATH + 1] = {};
    if (GetTempPathW(MAX_PATH, temp) == 0)
        throw std::runtime_error("no temporary folder");
    std::string base = toUtf8(temp);
    if (!base.empty() && base.back() == '\\')
        base.pop_back();
    for (unsigned i = 0; i < 1000; ++i) {
        const std::string candidate =
            base + "\\pelidor-test-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount64() % 1000000) + "-" + std::to_string(i);
        if (CreateDirectoryW(longPath(candidate).c_str(), nullptr)) {
            root_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempTree::~TempTree() {
    platform::removeTree(root_);
}

std::string TempTree::path(std::string_view relative) const {
    return relative.empty() ? root_ : root_ + "\\" + native(relative);
}

std::string TempTree::mkdir(std::string_view relative) const {
    const std::string p = path(relative);
    makeParents(p + "\\x");
    return p;
}

std::string TempTree::write(std::string_view relative, std::string_view content) const {
    const std::string p = path(relative);
    makeParents(p);
    const std::wstring full = longPath(p);
    const HANDLE h = CreateFileW(full.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot write " + p);
    DWORD wrote = 0;
    const bool ok =
        content.empty() ||
        (WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &wrote, nullptr) &&
         wrote == content.size());
    CloseHandle(h);
    if (!ok)
        throw std::runtime_error("cannot write " + p);
    return p;
}

std::string TempTree::writeSized(std::string_view relative, int64_t size, uint32_t seed) const {
    return write(relative, seededContent(size, seed));
}

void TempTree::setMTime(std::string_view relative, int64_t seconds) const {
    const std::string p = path(relative);
    const HANDLE h =
        CreateFileW(longPath(p).c_str(), FILE_WRITE_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot set the time of " + p);
    const auto ticks = static_cast<uint64_t>(seconds * 10000000LL + 116444736000000000LL);
    FILETIME t{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
    const bool ok = SetFileTime(h, nullptr, &t, &t);
    CloseHandle(h);
    if (!ok)
        throw std::runtime_error("cannot set the time of " + p);
}

void TempTree::symlink(std::string_view target, std::string_view relative) const {
    const std::string p = path(relative);
    makeParents(p);
    std::string t = native(target);
    const DWORD a = GetFileAttributesW(longPath(t).c_str());
    const DWORD flags = (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY))
                            ? SYMBOLIC_LINK_FLAG_DIRECTORY
                            : 0;
    if (!CreateSymbolicLinkW(longPath(p).c_str(), toWide(t).c_str(),
                             flags | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
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
    const HANDLE h = CreateFileW(longPath(path).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return {};
    std::string out;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        out.append(buffer, got);
    CloseHandle(h);
    return out;
}

bool pathExists(const std::string& path) {
    return platform::pathExists(path);
}

bool isFolder(const std::string& path) {
    const DWORD a = GetFileAttributesW(longPath(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) &&
           !(a & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool runningAsRoot() {
    // Wine runs every program with administrator rights and has no permission bits.
    return true;
}

std::vector<std::string> folderNames(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data{};
    const HANDLE find = FindFirstFileW((longPath(folder) + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = toUtf8(data.cFileName);
            if (name != "." && name != "..")
                names.push_back(name);
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace pelidor::test
