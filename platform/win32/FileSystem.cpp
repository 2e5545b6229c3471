// Folder listing, file status and reading on Windows: FindFirstFileExW listings,
// handles opened with CreateFileW on the long-path form of every path, and the file
// identity (volume serial number and file index) in place of device and inode.
#include "platform/FileSystem.h"
#include "platform/Mounts.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <windows.h>

#include "platform/win32/HandleStatus.h"
#include "platform/win32/WinText.h"

namespace pelidor::platform {
namespace {

using win32::lastErrno;

void setError(int* error, int value) {
    if (error != nullptr)
        *error = value;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

unsigned long long fileTimeValue(const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

EntryKind kindFromAttributes(DWORD attributes) {
    // A reparse point (symbolic link, junction, mount point) is never followed.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return EntryKind::Symlink;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return EntryKind::Directory;
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return EntryKind::Other;
    return EntryKind::Regular;
}

void fillStatus(const BY_HANDLE_FILE_INFORMATION& info, FileStatus& out) {
    out.kind = kindFromAttributes(info.dwFileAttributes);
    out.size = out.kind == EntryKind::Regular
                   ? static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) |
                                          info.nFileSizeLow)
                   : 0;
    long long sec = 0;
    int nsec = 0;
    win32::unixFromFileTime(fileTimeValue(info.ftLastWriteTime), sec, nsec);
    out.mtimeSec = sec;
    out.mtimeNsec = nsec;
    win32::unixFromFileTime(fileTimeValue(info.ftCreationTime), sec, nsec);
    out.createSec = sec;
    out.createNsec = nsec;
    out.device = info.dwVolumeSerialNumber;
    out.inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    // Permission bits as the rest of the program reads them: the read-only attribute
    // takes the write bits away.
    const uint32_t type = out.kind == EntryKind::Directory ? 0040000u
                          : out.kind == EntryKind::Symlink ? 0120000u
                          : out.kind == EntryKind::Regular ? 0100000u
                                                           : 0;
    out.mode = type | ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0555u : 0777u);
}

// The handle's information, FILE_ATTRIBUTE_REPARSE_POINT kept for links only.
bool handleInfo(HANDLE h, BY_HANDLE_FILE_INFORMATION& info) {
    if (!GetFileInformationByHandle(h, &info))
        return false;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag))
            info.dwFileAttributes = win32::linkAttributes(info.dwFileAttributes, tag.ReparseTag);
    }
    return true;
}

bool statHandle(HANDLE h, FileStatus& out) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!handleInfo(h, info))
        return false;
    fillStatus(info, out);
    return true;
}

// Status of the entry at a long path, the entry itself when it is a reparse point.
bool statLong(const std::wstring& path, FileStatus& out, int* error) {
    if (path.empty()) {
        setError(error, ENOENT);
        return false;
    }
    const HANDLE h =
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        const bool ok = statHandle(h, out);
        if (!ok)
            setError(error, lastErrno());
        CloseHandle(h);
        return ok;
    }
    // No handle (e.g. the system's paging file): what the folder entry says, without an
    // identity.
    const int openError = lastErrno();
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        setError(error, openError);
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    info.dwFileAttributes = win32::linkAttributesOf(path);
    info.ftCreationTime = data.ftCreationTime;
    info.ftLastWriteTime = data.ftLastWriteTime;
    info.nFileSizeHigh = data.nFileSizeHigh;
    info.nFileSizeLow = data.nFileSizeLow;
    fillStatus(info, out);
    return true;
}

// Opens a folder handle; `followLink` false refuses a reparse point.
HANDLE openFolder(const std::wstring& path, bool followLink, int* error) {
    if (path.empty()) {
        setError(error, ENOENT);
        return INVALID_HANDLE_VALUE;
    }
    const DWORD flags =
        FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const HANDLE h = CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                 kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        setError(error, lastErrno());
        return h;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!handleInfo(h, info)) {
        setError(error, lastErrno());
        CloseHandle(h);
        return INVALID_HANDLE_VALUE;
    }
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (!followLink && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
        setError(error, (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? ELOOP : ENOTDIR);
        CloseHandle(h);
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

// The files this program reads through ReadFile, by identity, with the reading thread.
// Share mode 0 lets one handle at a time open a file: when two names of one file (hard
// links) are read on two threads, the second waits for the first instead of failing.
// Handles of other programs still refuse the open at once.
struct OwnReads {
    std::mutex mutex;
    std::condition_variable released;
    std::map<std::pair<uint64_t, uint64_t>, DWORD> files;
};

OwnReads& ownReads() {
    static OwnReads reads;
    return reads;
}

bool identityOf(const std::wstring& path, std::pair<uint64_t, uint64_t>& id) {
    const HANDLE h =
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    FileStatus st;
    const bool ok = statHandle(h, st);
    CloseHandle(h);
    id = {st.device, st.inode};
    return ok;
}

// Opens the file for reading with share mode 0, waiting while another thread of this
// program reads it. Called with the OwnReads lock held.
HANDLE openExclusive(const std::wstring& path, DWORD flags, std::unique_lock<std::mutex>& lock) {
    OwnReads& reads = ownReads();
    for (;;) {
        const HANDLE h =
            CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, flags, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION)
            return h;
        std::pair<uint64_t, uint64_t> id;
        const bool known = identityOf(path, id);
        const auto it = known ? reads.files.find(id) : reads.files.end();
        if (it == reads.files.end() || it->second == GetCurrentThreadId() ||
            !reads.released.wait_for(lock, std::chrono::seconds(60),
                                     [&] { return reads.files.count(id) == 0; })) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return INVALID_HANDLE_VALUE;
        }
    }
}

std::wstring withBackslash(std::wstring path) {
    if (!path.empty() && path.back() != L'\\')
        path.push_back(L'\\');
    return path;
}

} // namespace

namespace win32 {

bool statHandle(HANDLE h, FileStatus& out, BY_HANDLE_FILE_INFORMATION* raw) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!handleInfo(h, info))
        return false;
    fillStatus(info, out);
    if (raw != nullptr)
        *raw = info;
    return true;
}

} // namespace win32

Directory::~Directory() {
    close();
}

Directory::Directory(Directory&& other) noexcept
    : fd_(other.fd_), handle_(other.handle_), path_(std::move(other.path_)) {
    other.fd_ = -1;
    other.handle_ = nullptr;
}

Directory& Directory::operator=(Directory&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        handle_ = other.handle_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
        other.handle_ = nullptr;
    }
    return *this;
}

void Directory::close() {
    if (handle_ != nullptr)
        CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
    fd_ = -1;
    path_.clear();
}

Directory Directory::open(const std::string& path, int* error) {
    Directory d;
    const std::wstring full = win32::longPath(path);
    const HANDLE h = openFolder(full, true, error);
    if (h == INVALID_HANDLE_VALUE)
        return d;
    d.fd_ = 0;
    d.handle_ = h;
    d.path_ = withBackslash(full);
    return d;
}

Directory Directory::openChild(const std::string& name, int* error) const {
    Directory d;
    if (fd_ < 0) {
        setError(error, EBADF);
        return d;
    }
    if (name.empty() || name.find_first_of("\\/") != std::string::npos) {
        setError(error, EINVAL);
        return d;
    }
    if (name == "..")
        return openParent(error);
    const std::wstring full = path_ + win32::toWide(name);
    const HANDLE h = openFolder(full, false, error);
    if (h == INVALID_HANDLE_VALUE)
        return d;
    d.fd_ = 0;
    d.handle_ = h;
    d.path_ = withBackslash(full);
    return d;
}

Directory Directory::openParent(int* error) const {
    Directory d;
    if (fd_ < 0) {
        setError(error, EBADF);
        return d;
    }
    // path_ is "\\?\C:\a\b\": the parent is "\\?\C:\a\"; a drive root has none.
    const size_t end = path_.size() - 1;
    const size_t cut = path_.rfind(L'\\', end - 1);
    const size_t prefix = path_.rfind(L"\\\\?\\UNC\\", 0) == 0 ? 8 : 4;
    if (cut == std::wstring::npos || cut < prefix || path_.find(L'\\', prefix) >= end) {
        setError(error, ENOENT);
        return d;
    }
    const std::wstring parent = path_.substr(0, cut + 1);
    const HANDLE h = openFolder(parent, false, error);
    if (h == INVALID_HANDLE_VALUE)
        return d;
    d.fd_ = 0;
    d.handle_ = h;
    d.path_ = parent;
    return d;
}

Directory Directory::duplicate() const {
    Directory d;
    if (fd_ < 0)
        return d;
    HANDLE copy = nullptr;
    const HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, static_cast<HANDLE>(handle_), self, &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return d;
    d.fd_ = 0;
    d.handle_ = copy;
    d.path_ = path_;
    return d;
}

bool Directory::list(std::vector<RawDirEntry>& out, int* error) const {
    out.clear();
    if (fd_ < 0) {
        setError(error, EBADF);
        return false;
    }
    WIN32_FIND_DATAW data{};
    const std::wstring pattern = path_ + L"*";
    const HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES)
            return true; // an empty folder (a drive root has no "." entry)
        setError(error, win32::errnoFromWin32(code));
        return false;
    }
    for (;;) {
        const wchar_t* name = data.cFileName;
        const bool dots = name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
        if (!dots)
            out.push_back({win32::toUtf8(name), kindFromAttributes(win32::linkAttributes(
                                                    data.dwFileAttributes, data.dwReserved0))});
        if (!FindNextFileW(find, &data)) {
            const DWORD code = GetLastError();
            FindClose(find);
            if (code == ERROR_NO_MORE_FILES)
                return true;
            setError(error, win32::errnoFromWin32(code));
            return false;
        }
    }
}

bool Directory::statChild(const std::string& name, FileStatus& out, int* error) const {
    if (fd_ < 0) {
        setError(error, EBADF);
        return false;
    }
    return statLong(path_ + win32::toWide(name), out, error);
}

bool Directory::status(FileStatus& out) const {
    return fd_ >= 0 && statHandle(static_cast<HANDLE>(handle_), out);
}

// Windows has no kernel pseudo file systems in its folder tree.
bool Directory::onPseudoFileSystem() const {
    return false;
}

std::vector<uint64_t> pseudoFileSystemDevices() {
    return {};
}

bool resolvePath(const std::string& path, std::string& out) {
    // The final path of the folder or file, every link and junction resolved.
    const HANDLE h = ::CreateFileW(win32::longPath(path).c_str(), 0,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    std::wstring buffer(1024, L'\0');
    DWORD n = ::GetFinalPathNameByHandleW(h, buffer.data(), DWORD(buffer.size()), 0);
    if (n >= buffer.size()) {
        buffer.assign(n + 1, L'\0');
        n = ::GetFinalPathNameByHandleW(h, buffer.data(), DWORD(buffer.size()), 0);
    }
    ::CloseHandle(h);
    if (n == 0 || n >= buffer.size())
        return false;
    buffer.resize(n);
    // "\\?\C:\x" -> "C:\x"; "\\?\UNC\server\share" -> "\\server\share".
    if (buffer.rfind(L"\\\\?\\UNC\\", 0) == 0)
        buffer = L"\\\\" + buffer.substr(8);
    else if (buffer.rfind(L"\\\\?\\", 0) == 0)
        buffer = buffer.substr(4);
    out = win32::toUtf8(buffer);
    return true;
}

bool statPath(const std::string& path, FileStatus& out, int* error) {
    std::wstring full = win32::longPath(path);
    // "C:\dir\" names the folder itself.
    while (full.size() > 7 && full.back() == L'\\' && full[full.size() - 2] != L':')
        full.pop_back();
    return statLong(full, out, error);
}

int openLongPath(const std::string& path, int flags, int* error) {
    const std::wstring full = win32::longPath(path);
    if (full.empty()) {
        setError(error, ENOENT);
        return -1;
    }
    const int fd = ::_wopen(full.c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        setError(error, errno);
    return fd;
}

ReadFile::~ReadFile() {
    close();
}

ReadFile::ReadFile(ReadFile&& other) noexcept
    : fd_(other.fd_), status_(other.status_), handle_(other.handle_) {
    other.fd_ = -1;
    other.handle_ = nullptr;
}

ReadFile& ReadFile::operator=(ReadFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        status_ = other.status_;
        handle_ = other.handle_;
        other.fd_ = -1;
        other.handle_ = nullptr;
    }
    return *this;
}

void ReadFile::close() {
    if (handle_ != nullptr) {
        OwnReads& reads = ownReads();
        {
            std::lock_guard lock(reads.mutex);
            CloseHandle(static_cast<HANDLE>(handle_));
            reads.files.erase({status_.device, status_.inode});
        }
        reads.released.notify_all();
    }
    handle_ = nullptr;
    fd_ = -1;
}

ReadFile ReadFile::openShared(const std::string& path, int* error) {
    ReadFile f;
    const std::wstring full = win32::longPath(path);
    if (full.empty()) {
        setError(error, ENOENT);
        return f;
    }
    // Share mode 0: the open fails while any other program's handle to the file is open,
    // and no one else can open the file while it is read.
    OwnReads& reads = ownReads();
    std::unique_lock lock(reads.mutex);
    HANDLE h = openExclusive(full, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, lock);
    if (h == INVALID_HANDLE_VALUE) {
        setError(error, lastErrno());
        return f;
    }
    // A reparse point that is no link (a cloud placeholder, a deduplicated file) is read
    // through its file-system filter, which needs the open without the flag.
    BY_HANDLE_FILE_INFORMATION raw{};
    if (GetFileInformationByHandle(h, &raw) &&
        (raw.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && statHandle(h, f.status_) &&
        f.status_.kind == EntryKind::Regular) {
        CloseHandle(h);
        h = openExclusive(full, FILE_FLAG_SEQUENTIAL_SCAN, lock);
        if (h == INVALID_HANDLE_VALUE) {
            setError(error, lastErrno());
            return f;
        }
    }
    if (!statHandle(h, f.status_) || f.status_.kind != EntryKind::Regular) {
        setError(error, f.status_.kind == EntryKind::Directory ? EISDIR : EINVAL);
        CloseHandle(h);
        return f;
    }
    reads.files[{f.status_.device, f.status_.inode}] = GetCurrentThreadId();
    f.fd_ = 0;
    f.handle_ = h;
    return f;
}

bool ReadFile::status(FileStatus& out) const {
    return fd_ >= 0 && statHandle(static_cast<HANDLE>(handle_), out);
}

int64_t ReadFile::read(void* buffer, size_t size) const {
    size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < size) {
        const int64_t n = readSome(p + done, size - done);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

int64_t ReadFile::readSome(void* buffer, size_t size) const {
    if (fd_ < 0)
        return -1;
    const DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD got = 0;
    if (!::ReadFile(static_cast<HANDLE>(handle_), buffer, want, &got, nullptr))
        return -1;
    return got;
}

int64_t ReadFile::readAt(void* buffer, size_t size, int64_t offset) const {
    if (fd_ < 0 || offset < 0)
        return -1;
    size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < size) {
        const size_t rest = size - done;
        const DWORD want = rest > 0x40000000u ? 0x40000000u : static_cast<DWORD>(rest);
        const auto at = static_cast<uint64_t>(offset) + done;
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        if (!::ReadFile(static_cast<HANDLE>(handle_), p + done, want, &got, &where)) {
            if (GetLastError() == ERROR_HANDLE_EOF)
                break;
            return -1;
        }
        if (got == 0)
            break;
        done += got;
    }
    return static_cast<int64_t>(done);
}

void ReadFile::adviseSequential() const {
    // The handle was opened with FILE_FLAG_SEQUENTIAL_SCAN.
}

std::string errorText(int error) {
    return std::strerror(error);
}

} // namespace pelidor::platform
