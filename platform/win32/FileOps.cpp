// Small file operations on Windows, on the long-path form of every path. The
// read-only attribute is what the owner-write bit stands for elsewhere.
#include "platform/FileOps.h"

#include <cerrno>
#include <windows.h>

#include "platform/win32/WinText.h"

namespace pelidor::platform {
namespace {

void setError(int* error, int value) {
    if (error != nullptr)
        *error = value;
}

// The attributes, FILE_ATTRIBUTE_REPARSE_POINT kept for links only.
DWORD attributesOf(const std::wstring& path) {
    return win32::linkAttributesOf(path);
}

bool removeLong(const std::wstring& path, int* error) {
    const DWORD a = attributesOf(path);
    if (a == INVALID_FILE_ATTRIBUTES) {
        setError(error, win32::lastErrno());
        return false;
    }
    if (a & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
    // A link to a folder (junction, directory symbolic link) is removed as a folder entry;
    // its target is never touched.
    const bool folder = (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder && !(a & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW data{};
        const std::wstring pattern = path + L"\\*";
        const HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data,
                                             FindExSearchNameMatch, nullptr, 0);
        if (find != INVALID_HANDLE_VALUE) {
            bool ok = true;
            do {
                const wchar_t* n = data.cFileName;
                if (n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0)))
                    continue;
                ok = removeLong(path + L"\\" + n, error) && ok;
            } while (FindNextFileW(find, &data));
            FindClose(find);
            if (!ok)
                return false;
        }
    }
    const BOOL done = folder ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str());
    if (!done) {
        setError(error, win32::lastErrno());
        return false;
    }
    return true;
}

} // namespace

bool pathExists(const std::string& path) {
    return attributesOf(win32::longPath(path)) != INVALID_FILE_ATTRIBUTES;
}

bool isRegularFile(const std::string& path) {
    const DWORD a = attributesOf(win32::longPath(path));
    return a != INVALID_FILE_ATTRIBUTES &&
           !(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE));
}

void addOwnerWrite(const std::string& path) {
    const std::wstring full = win32::longPath(path);
    const DWORD a = attributesOf(full);
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_REPARSE_POINT))
        return;
    if (a & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(full.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
}

bool isFileLocked(const std::string& path) {
    if (!isRegularFile(path))
        return false;
    // A read-only file counts as locked (an administrator may still get write access).
    const std::wstring full = win32::longPath(path);
    if (attributesOf(full) & FILE_ATTRIBUTE_READONLY)
        return true;
    // Read and write access with share mode 0: refused while anyone else holds the file
    // open.
    const HANDLE h = CreateFileW(full.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return true;
    CloseHandle(h);
    return false;
}

bool removeFile(const std::string& path, int* error) {
    const std::wstring full = win32::longPath(path);
    const DWORD a = attributesOf(full);
    if (a == INVALID_FILE_ATTRIBUTES) {
        setError(error, full.empty() ? ENOENT : win32::lastErrno());
        return false;
    }
    if ((a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT)) {
        setError(error, EISDIR);
        return false;
    }
    const BOOL done =
        (a & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(full.c_str()) : DeleteFileW(full.c_str());
    if (!done) {
        setError(error, win32::lastErrno());
        return false;
    }
    return true;
}

bool removeTree(const std::string& path, int* error) {
    const std::wstring full = win32::longPath(path);
    if (full.empty()) {
        setError(error, ENOENT);
        return false;
    }
    return removeLong(full, error);
}

bool fileSize(const std::string& path, int64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const std::wstring full = win32::longPath(path);
    if (full.empty() || !GetFileAttributesExW(full.c_str(), GetFileExInfoStandard, &data))
        return false;
    size = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
               ? 0
               : static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                                      data.nFileSizeLow);
    return true;
}

bool sameFile(const std::string& a, const std::string& b) {
    const auto identity = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        const std::wstring full = win32::longPath(path);
        if (full.empty())
            return false;
        const HANDLE h = CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        const bool ok = GetFileInformationByHandle(h, &info) != 0;
        CloseHandle(h);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    return identity(a, ia) && identity(b, ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

} // namespace pelidor::platform
