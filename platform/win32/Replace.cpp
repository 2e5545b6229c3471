// Making a hard link or a clone of a file under a temporary name beside another file,
// and renaming it over that file, on Windows. The hard link is CreateHardLinkW; the
// clone is a new file whose ranges share the source's blocks (FSCTL_DUPLICATE_EXTENTS_TO_FILE),
// which only volumes with block cloning offer (ReFS, FILE_SUPPORTS_BLOCK_REFCOUNTING);
// elsewhere the clone is refused with EOPNOTSUPP before anything is made. The rename is
// MoveFileExW with MOVEFILE_REPLACE_EXISTING, so the path names the old file until it
// names the new one. Every path goes through its long-path form.
#include "platform/Replace.h"

#include <cerrno>
#include <random>
#include <utility>
#include <windows.h>
#include <winioctl.h>

#include "platform/win32/HandleStatus.h"
#include "platform/win32/WinText.h"

// Block cloning (Windows Server 2016, Windows 10 1607 and later); mingw-w64's headers
// do not have these yet.
#ifndef FILE_SUPPORTS_BLOCK_REFCOUNTING
#define FILE_SUPPORTS_BLOCK_REFCOUNTING 0x08000000
#endif
#ifndef FSCTL_GET_INTEGRITY_INFORMATION
#define FSCTL_GET_INTEGRITY_INFORMATION                                                            \
    CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 159, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_SET_INTEGRITY_INFORMATION
#define FSCTL_SET_INTEGRITY_INFORMATION                                                            \
    CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 160, METHOD_BUFFERED, FILE_READ_DATA | FILE_WRITE_DATA)
#endif
#ifndef FSCTL_DUPLICATE_EXTENTS_TO_FILE
#define FSCTL_DUPLICATE_EXTENTS_TO_FILE                                                            \
    CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 209, METHOD_BUFFERED, FILE_WRITE_DATA)
#endif

namespace pelidor::platform {
namespace {

struct IntegrityInformation { // FSCTL_GET_INTEGRITY_INFORMATION_BUFFER
    WORD ChecksumAlgorithm;
    WORD Reserved;
    DWORD Flags;
    DWORD ChecksumChunkSizeInBytes;
    DWORD ClusterSizeInBytes;
};

struct IntegritySetting { // FSCTL_SET_INTEGRITY_INFORMATION_BUFFER
    WORD ChecksumAlgorithm;
    WORD Reserved;
    DWORD Flags;
};

struct DuplicateExtents { // DUPLICATE_EXTENTS_DATA
    HANDLE FileHandle;
    LARGE_INTEGER SourceFileOffset;
    LARGE_INTEGER TargetFileOffset;
    LARGE_INTEGER ByteCount;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr int kNameTries = 16;

void setError(int* error, int value) {
    if (error != nullptr)
        *error = value != 0 ? value : EIO;
}

void setLastError(int* error) {
    setError(error, win32::lastErrno());
}

// "C:\a\b\name" (or with "/") -> folder "C:\a\b\" and name "name".
void splitPath(const std::string& path, std::string& folder, std::string& name) {
    const size_t cut = path.find_last_of("\\/");
    if (cut == std::string::npos) {
        folder = ".\\";
        name = path;
    } else {
        folder = path.substr(0, cut + 1);
        name = path.substr(cut + 1);
    }
}

// A hidden name that is new in its folder most of the time; the caller retries when it
// exists.
std::string temporaryName() {
    static thread_local std::mt19937_64 random{std::random_device{}() ^
                                               (uint64_t(GetCurrentProcessId()) << 32)};
    static const char digits[] = "0123456789abcdef";
    std::string name = ".pelidor-replace-";
    uint64_t value = random();
    for (int i = 0; i < 16; ++i, value >>= 4)
        name.push_back(digits[value & 15]);
    return name;
}

// The status as the rest of the program reads it (FileSystem.cpp).
bool statusOfHandle(HANDLE h, FileStatus& out, BY_HANDLE_FILE_INFORMATION* raw = nullptr) {
    return win32::statHandle(h, out, raw);
}

// Opens the entry itself (a link is not followed) for `access`.
HANDLE openEntry(const std::wstring& path, DWORD access, DWORD share = kShareAll) {
    return CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Whether the volume of an open file offers block cloning.
bool volumeClones(HANDLE h, int* error) {
    DWORD flags = 0;
    if (GetVolumeInformationByHandleW(h, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
        return (flags & FILE_SUPPORTS_BLOCK_REFCOUNTING) != 0;
    const DWORD code = GetLastError();
    // A system that cannot say offers no clones; anything else is a failure of its own.
    if (code == ERROR_CALL_NOT_IMPLEMENTED || code == ERROR_NOT_SUPPORTED ||
        code == ERROR_INVALID_FUNCTION)
        return false;
    setError(error, win32::errnoFromWin32(code));
    return false;
}

// Removes the entry at `path` (a long path), read-only or not. The read-only attribute
// belongs to the file, not to the name: for a hard link it is also the other names'
// attribute, so it is given back after the name is marked for deletion.
bool removeEntry(const std::wstring& path, int* error) {
    if (DeleteFileW(path.c_str()))
        return true;
    DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
        return true;
    if (code != ERROR_ACCESS_DENIED) {
        setError(error, win32::errnoFromWin32(code));
        return false;
    }
    const HANDLE h = openEntry(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE) {
        setLastError(error);
        return false;
    }
    FILE_BASIC_INFO basic{};
    bool ok = GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) != 0;
    const DWORD attributes = basic.FileAttributes;
    const bool readOnly = ok && (attributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly) {
        FILE_BASIC_INFO writable{};
        writable.FileAttributes = attributes & ~DWORD(FILE_ATTRIBUTE_READONLY);
        if (writable.FileAttributes == 0)
            writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        ok = SetFileInformationByHandle(h, FileBasicInfo, &writable, sizeof writable) != 0;
    }
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (ok)
        ok = SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition) !=
             0;
    code = ok ? ERROR_SUCCESS : GetLastError();
    if (readOnly) {
        FILE_BASIC_INFO back{};
        back.FileAttributes = attributes;
        SetFileInformationByHandle(h, FileBasicInfo, &back, sizeof back);
    }
    CloseHandle(h);
    if (!ok)
        setError(error, win32::errnoFromWin32(code));
    return ok;
}

} // namespace

StagedFile::~StagedFile() {
    discard();
    release();
}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : dirFd_(std::exchange(other.dirFd_, -1)), folder_(std::move(other.folder_)),
      name_(std::move(other.name_)), fileFd_(std::exchange(other.fileFd_, -1)),
      fileHandle_(std::exchange(other.fileHandle_, nullptr)) {
    other.name_.clear();
}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
    if (this != &other) {
        discard();
        release();
        dirFd_ = std::exchange(other.dirFd_, -1);
        folder_ = std::move(other.folder_);
        name_ = std::move(other.name_);
        fileFd_ = std::exchange(other.fileFd_, -1);
        fileHandle_ = std::exchange(other.fileHandle_, nullptr);
        other.name_.clear();
    }
    return *this;
}

void StagedFile::release() {
    if (fileHandle_ != nullptr)
        CloseHandle(static_cast<HANDLE>(fileHandle_));
    fileHandle_ = nullptr;
    fileFd_ = -1;
    dirFd_ = -1;
}

std::string StagedFile::path() const {
    return folder_ + name_;
}

StagedFile StagedFile::hardLink(const std::string& source, const std::string& target, int* error) {
    std::string folder, name;
    splitPath(target, folder, name);
    const std::wstring from = win32::longPath(source);
    if (from.empty() || win32::longPath(folder).empty()) {
        setError(error, ENOENT);
        return {};
    }
    DWORD code = ERROR_SUCCESS;
    for (int i = 0; i < kNameTries; ++i) {
        const std::string temp = temporaryName();
        if (CreateHardLinkW(win32::longPath(folder + temp).c_str(), from.c_str(), nullptr))
            return StagedFile(0, folder, temp);
        code = GetLastError();
        if (code != ERROR_ALREADY_EXISTS && code != ERROR_FILE_EXISTS)
            break;
    }
    setError(error, win32::errnoFromWin32(code));
    return {};
}

StagedFile StagedFile::clone(const std::string& source, const std::string& target,
                             FileStatus& sourceBefore, FileStatus& sourceAfter, int* error) {
    sourceBefore = FileStatus();
    sourceAfter = FileStatus();
    const std::wstring from = win32::longPath(source);
    if (from.empty()) {
        setError(error, ENOENT);
        return {};
    }
    // Shared for reading only: nobody writes to the source while its blocks are shared.
    const HANDLE src = CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (src == INVALID_HANDLE_VALUE) {
        setLastError(error);
        return {};
    }
    struct SourceHandle {
        HANDLE h;
        ~SourceHandle() { CloseHandle(h); }
    } closeSource{src};
    BY_HANDLE_FILE_INFORMATION info{};
    if (!statusOfHandle(src, sourceBefore, &info)) {
        setLastError(error);
        return {};
    }
    if (sourceBefore.kind != EntryKind::Regular) {
        setError(error, EINVAL);
        return {};
    }
    int volumeError = 0;
    if (!volumeClones(src, &volumeError)) {
        setError(error, volumeError != 0 ? volumeError : EOPNOTSUPP);
        return {};
    }
    IntegrityInformation integrity{};
    DWORD returned = 0;
    if (!DeviceIoControl(src, FSCTL_GET_INTEGRITY_INFORMATION, nullptr, 0, &integrity,
                         sizeof integrity, &returned, nullptr)) {
        setLastError(error);
        return {};
    }
    const int64_t cluster = integrity.ClusterSizeInBytes != 0 ? integrity.ClusterSizeInBytes : 4096;

    std::string folder, name;
    splitPath(target, folder, name);
    StagedFile staged;
    DWORD code = ERROR_SUCCESS;
    for (int i = 0; i < kNameTries && !staged.valid(); ++i) {
        const std::string temp = temporaryName();
        const HANDLE h = CreateFileW(win32::longPath(folder + temp).c_str(),
                                     GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            staged = StagedFile(0, folder, temp);
            staged.fileHandle_ = h;
            staged.fileFd_ = 0;
        } else {
            code = GetLastError();
            if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS)
                break;
        }
    }
    if (!staged.valid()) {
        setError(error, win32::errnoFromWin32(code));
        return {};
    }
    const HANDLE dst = static_cast<HANDLE>(staged.fileHandle_);
    // Both files on one volume, the same sparseness and integrity setting, the target's
    // size set first: what the system asks before it shares ranges.
    BY_HANDLE_FILE_INFORMATION made{};
    bool ok = GetFileInformationByHandle(dst, &made) != 0;
    if (ok && made.dwVolumeSerialNumber != info.dwVolumeSerialNumber) {
        staged.discard();
        setError(error, EXDEV);
        return {};
    }
    if (ok && (info.dwFileAttributes & FILE_ATTRIBUTE_SPARSE_FILE))
        ok = DeviceIoControl(dst, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    if (ok) {
        IntegritySetting same{integrity.ChecksumAlgorithm, 0, integrity.Flags};
        ok = DeviceIoControl(dst, FSCTL_SET_INTEGRITY_INFORMATION, &same, sizeof same, nullptr, 0,
                             &returned, nullptr);
    }
    if (ok) {
        FILE_END_OF_FILE_INFO end{};
        end.EndOfFile.QuadPart = sourceBefore.size;
        ok = SetFileInformationByHandle(dst, FileEndOfFileInfo, &end, sizeof end) != 0;
    }
    // In steps below 4 GiB, each a whole number of clusters (the last one rounded up
    // past the end of the file, as the system expects).
    const int64_t step = (int64_t(1) << 30) / cluster * cluster;
    for (int64_t at = 0; ok && at < sourceBefore.size; at += step) {
        const int64_t left = sourceBefore.size - at;
        const int64_t count = left < step ? (left + cluster - 1) / cluster * cluster : step;
        DuplicateExtents extents{};
        extents.FileHandle = src;
        extents.SourceFileOffset.QuadPart = at;
        extents.TargetFileOffset.QuadPart = at;
        extents.ByteCount.QuadPart = count;
        ok = DeviceIoControl(dst, FSCTL_DUPLICATE_EXTENTS_TO_FILE, &extents, sizeof extents,
                             nullptr, 0, &returned, nullptr);
    }
    if (!ok) {
        const int cloneError = win32::lastErrno();
        staged.discard();
        setError(error, cloneError);
        return {};
    }
    if (!statusOfHandle(src, sourceAfter)) {
        const int statError = win32::lastErrno();
        staged.discard();
        setError(error, statError);
        return {};
    }
    return staged;
}

bool StagedFile::status(FileStatus& out, int* error) const {
    if (!valid()) {
        setError(error, EBADF);
        return false;
    }
    const HANDLE h = openEntry(win32::longPath(path()), FILE_READ_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE) {
        setLastError(error);
        return false;
    }
    const bool ok = statusOfHandle(h, out);
    if (!ok)
        setLastError(error);
    CloseHandle(h);
    return ok;
}

bool StagedFile::copyMetadata(const std::string& from, FileStatus& fromStatus, int* error) {
    fromStatus = FileStatus();
    if (!valid() || fileHandle_ == nullptr) {
        setError(error, EBADF);
        return false;
    }
    const HANDLE h = openEntry(win32::longPath(from), FILE_READ_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE) {
        setLastError(error);
        return false;
    }
    FILE_BASIC_INFO basic{};
    bool ok = statusOfHandle(h, fromStatus) &&
              GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic);
    if (!ok) {
        setLastError(error);
        CloseHandle(h);
        return false;
    }
    CloseHandle(h);
    // The attributes a program may set; the others (sparse, compressed, encrypted,
    // integrity, reparse point) are the file system's and already match or cannot.
    constexpr DWORD settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                               FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE |
                               FILE_ATTRIBUTE_TEMPORARY;
    FILE_BASIC_INFO mine = basic;
    mine.ChangeTime.QuadPart = 0; // the system's to keep
    mine.FileAttributes = basic.FileAttributes & settable;
    if (mine.FileAttributes == 0)
        mine.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    // Times and attributes in one call, after the content: nothing writes to the file
    // afterwards.
    ok = SetFileInformationByHandle(static_cast<HANDLE>(fileHandle_), FileBasicInfo, &mine,
                                    sizeof mine) != 0;
    if (!ok)
        setLastError(error);
    return ok;
}

bool StagedFile::renameOver(const std::string& target, uint64_t* replacedLinks, int* error) {
    if (!valid()) {
        setError(error, EBADF);
        return false;
    }
    std::string folder, name;
    splitPath(target, folder, name);
    if (folder != folder_) {
        setError(error, EXDEV);
        return false;
    }
    const std::wstring to = win32::longPath(target);
    const HANDLE h = openEntry(to, FILE_READ_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE) {
        setLastError(error);
        return false;
    }
    BY_HANDLE_FILE_INFORMATION old{};
    const bool known = GetFileInformationByHandle(h, &old) != 0;
    const DWORD statError = known ? ERROR_SUCCESS : GetLastError();
    CloseHandle(h);
    if (!known) {
        setError(error, win32::errnoFromWin32(statError));
        return false;
    }
    if (replacedLinks != nullptr)
        *replacedLinks = old.nNumberOfLinks;
    // MoveFileExW refuses to replace a read-only file. The attribute is the file's, so
    // it is lifted only when this name is the file's last.
    const bool readOnly = (old.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly) {
        if (old.nNumberOfLinks > 1) {
            setError(error, EACCES);
            return false;
        }
        const DWORD writable = old.dwFileAttributes & ~DWORD(FILE_ATTRIBUTE_READONLY);
        if (!SetFileAttributesW(to.c_str(), writable != 0 ? writable : FILE_ATTRIBUTE_NORMAL)) {
            setLastError(error);
            return false;
        }
    }
    // The rename opens the temporary file itself: this object's handle goes first.
    if (fileHandle_ != nullptr) {
        CloseHandle(static_cast<HANDLE>(fileHandle_));
        fileHandle_ = nullptr;
        fileFd_ = -1;
    }
    if (!MoveFileExW(win32::longPath(path()).c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const int moveError = win32::lastErrno();
        if (readOnly)
            SetFileAttributesW(to.c_str(), old.dwFileAttributes);
        setError(error, moveError);
        return false;
    }
    name_.clear();
    return true;
}

bool StagedFile::discard(int* error) {
    if (!valid())
        return true;
    if (fileHandle_ != nullptr) {
        CloseHandle(static_cast<HANDLE>(fileHandle_));
        fileHandle_ = nullptr;
        fileFd_ = -1;
    }
    if (!removeEntry(win32::longPath(path()), error))
        return false;
    name_.clear();
    return true;
}

} // namespace pelidor::platform
