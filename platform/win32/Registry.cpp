// The registry on Windows: the system's own (RegGetValueW / RegSetValueExW), with key
// paths written as in the .reg syntax ("HKEY_CURRENT_USER\SOFTWARE\Corvane\Pelidor").
// Values keep their types: a value stored as text is not read as an integer. Also the
// whole-file helpers of the settings file, over handles on long paths.
#include "platform/Registry.h"

#include <algorithm>
#include <cerrno>
#include <windows.h>

#include "platform/win32/WinText.h"

namespace pelidor::platform {
namespace {

bool splitKey(const std::string& key, HKEY& root, std::wstring& sub) {
    static const struct {
        const char* name;
        HKEY root;
    } roots[] = {{"HKEY_CURRENT_USER", HKEY_CURRENT_USER},   {"HKCU", HKEY_CURRENT_USER},
                 {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKLM", HKEY_LOCAL_MACHINE},
                 {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {"HKEY_USERS", HKEY_USERS}};
    const auto slash = key.find('\\');
    std::string head = key.substr(0, slash);
    std::transform(head.begin(), head.end(), head.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    for (const auto& r : roots) {
        if (head == r.name) {
            root = r.root;
            sub =
                slash == std::string::npos ? std::wstring() : win32::toWide(key.substr(slash + 1));
            return true;
        }
    }
    return false;
}

bool writeValue(const std::string& key, const std::string& name, DWORD type, const void* data,
                DWORD size) {
    HKEY root{};
    std::wstring sub;
    if (!splitKey(key, root, sub))
        return false;
    HKEY h{};
    if (RegCreateKeyExW(root, sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, &h, nullptr) != ERROR_SUCCESS)
        return false;
    const std::wstring value = win32::toWide(name);
    const LONG rc = RegSetValueExW(h, value.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

std::string gOverride; // kept for the interface; the system registry has no file

} // namespace

std::string registryFilePath() {
    return gOverride;
}

void setRegistryFilePath(const std::string& path) {
    gOverride = path;
}

std::optional<uint32_t> regReadDword(const std::string& key, const std::string& name) {
    HKEY root{};
    std::wstring sub;
    if (!splitKey(key, root, sub))
        return std::nullopt;
    const std::wstring value = win32::toWide(name);
    DWORD data = 0;
    DWORD size = sizeof data;
    if (RegGetValueW(root, sub.c_str(), value.c_str(), RRF_RT_REG_DWORD, nullptr, &data, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return static_cast<uint32_t>(data);
}

std::optional<std::string> regReadString(const std::string& key, const std::string& name) {
    HKEY root{};
    std::wstring sub;
    if (!splitKey(key, root, sub))
        return std::nullopt;
    const std::wstring value = win32::toWide(name);
    DWORD size = 0;
    if (RegGetValueW(root, sub.c_str(), value.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegGetValueW(root, sub.c_str(), value.c_str(), RRF_RT_REG_SZ, nullptr, text.data(),
                     &size) != ERROR_SUCCESS)
        return std::nullopt;
    text.resize(wcsnlen(text.c_str(), text.size()));
    return win32::toUtf8(text);
}

bool regWriteDword(const std::string& key, const std::string& name, uint32_t value) {
    const DWORD data = value;
    return writeValue(key, name, REG_DWORD, &data, sizeof data);
}

bool regWriteString(const std::string& key, const std::string& name, const std::string& value) {
    if (value.find('\0') != std::string::npos)
        return false;
    const std::wstring text = win32::toWide(value);
    return writeValue(key, name, REG_SZ, text.c_str(),
                      static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

FileReadResult readFileBounded(const std::string& path, size_t limit, std::string& out,
                               bool& truncated) {
    out.clear();
    truncated = false;
    const std::wstring full = win32::longPath(path);
    if (full.empty())
        return FileReadResult::Missing;
    const HANDLE h = CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                   ? FileReadResult::Missing
                   : FileReadResult::Failed;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        CloseHandle(h);
        return FileReadResult::Failed;
    }
    char buffer[65536];
    while (out.size() <= limit) {
        DWORD got = 0;
        if (!::ReadFile(h, buffer, sizeof buffer, &got, nullptr)) {
            CloseHandle(h);
            out.clear();
            return FileReadResult::Failed;
        }
        if (got == 0)
            break;
        out.append(buffer, got);
    }
    CloseHandle(h);
    if (out.size() > limit) {
        out.resize(limit);
        truncated = true;
    }
    return FileReadResult::Ok;
}

bool replaceFileAtomically(const std::string& path, const std::string& content,
                           unsigned newFileMode, bool forceMode) {
    if (path.empty())
        return false;
    const std::wstring target = win32::longPath(path);
    if (target.empty())
        return false;
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    // The owner-write bit stands for "not read-only".
    const bool readOnly = exists && !forceMode ? (attributes & FILE_ATTRIBUTE_READONLY) != 0
                                               : (newFileMode & 0200) == 0;
    const size_t slash = target.rfind(L'\\');
    const std::wstring folder = target.substr(0, slash + 1);
    const std::wstring name = target.substr(slash + 1);
    std::wstring temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
        temp = folder + L"." + name + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
               std::to_wstring(GetTickCount64() + attempt) + L".tmp";
        h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < content.size()) {
        const size_t rest = content.size() - done;
        DWORD wrote = 0;
        ok = ::WriteFile(h, content.data() + done,
                         static_cast<DWORD>(std::min<size_t>(rest, 1u << 30)), &wrote, nullptr) &&
             wrote > 0;
        done += wrote;
    }
    ok = ok && FlushFileBuffers(h);
    ok = CloseHandle(h) && ok;
    if (ok && exists && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!ok || !MoveFileExW(temp.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temp.c_str());
        if (exists && (attributes & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesW(target.c_str(), attributes);
        return false;
    }
    if (readOnly)
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
    return true;
}

bool makeFolders(const std::string& path, unsigned /*mode*/) {
    const std::wstring full = win32::longPath(path);
    if (full.empty())
        return false;
    const auto isFolder = [](const std::wstring& p) {
        const DWORD a = GetFileAttributesW(p.c_str());
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
    };
    if (isFolder(full))
        return true;
    // Skip the "\\?\C:\" or "\\?\UNC\server\share\" part, then create each level.
    size_t pos = full.rfind(L"\\\\?\\UNC\\", 0) == 0 ? full.find(L'\\', full.find(L'\\', 8) + 1)
                                                     : full.find(L'\\', 4);
    while (pos != std::wstring::npos) {
        pos = full.find(L'\\', pos + 1);
        const std::wstring part = full.substr(0, pos);
        if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return isFolder(full);
}

} // namespace pelidor::platform
