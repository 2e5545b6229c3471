#include "platform/win32/WinText.h"

#include <cerrno>
#include <windows.h>

namespace pelidor::platform::win32 {

std::wstring toWide(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    for (size_t i = 0; i < text.size();) {
        const unsigned char b0 = byte(i);
        size_t len = b0 < 0x80                  ? 1
                     : b0 >= 0xF0 && b0 <= 0xF4 ? 4
                     : b0 >= 0xE0               ? 3
                     : b0 >= 0xC2               ? 2
                                                : 0;
        if (len == 0 || b0 > 0xF4 || i + len > text.size()) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        char32_t cp = len == 1 ? b0 : len == 2 ? b0 & 0x1F : len == 3 ? b0 & 0x0F : b0 & 0x07;
        bool ok = true;
        for (size_t k = 1; k < len; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = cp << 6 | (byte(i + k) & 0x3F);
        }
        if (!ok || (len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp)); // a lone surrogate stays itself
        }
        i += len;
    }
    return out;
}

std::string toUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = static_cast<char16_t>(text[i]);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
            const char32_t lo = static_cast<char16_t>(text[i + 1]);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            }
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::wstring longPathW(std::wstring path) {
    if (path.empty() || path.find(L'\0') != std::wstring::npos)
        return {};
    for (auto& c : path)
        if (c == L'/')
            c = L'\\';
    if (path.rfind(L"\\\\?\\", 0) == 0)
        return path;
    const DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (need == 0)
        return {};
    std::wstring full(need, L'\0');
    const DWORD got = GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
    if (got == 0 || got >= need)
        return {};
    full.resize(got);
    if (full.rfind(L"\\\\.\\", 0) == 0)
        return full; // device names keep their own form
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring longPath(std::string_view path) {
    return longPathW(toWide(path));
}

int errnoFromWin32(unsigned long code) {
    switch (code) {
    case ERROR_SUCCESS:
        return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ENOENT;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_PRIVILEGE_NOT_HELD:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EBUSY;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_TOO_MANY_LINKS:
        return EMLINK;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
    case ERROR_CALL_NOT_IMPLEMENTED:
        return EOPNOTSUPP;
    default:
        return EIO;
    }
}

int lastErrno() {
    return errnoFromWin32(GetLastError());
}

unsigned long linkAttributes(unsigned long attributes, unsigned long reparseTag) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !IsReparseTagNameSurrogate(reparseTag))
        attributes &= ~static_cast<unsigned long>(FILE_ATTRIBUTE_REPARSE_POINT);
    return attributes;
}

unsigned long linkAttributesOf(const std::wstring& path) {
    if (path.empty())
        return INVALID_FILE_ATTRIBUTES;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return attributes;
    // The reparse tag comes with the folder entry.
    WIN32_FIND_DATAW data{};
    const HANDLE find = FindFirstFileW(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return attributes;
    FindClose(find);
    return linkAttributes(attributes, data.dwReserved0);
}

void unixFromFileTime(unsigned long long fileTime, long long& seconds, int& nanoseconds) {
    constexpr unsigned long long kTicksTo1970 = 116444736000000000ull;
    const long long ticks = static_cast<long long>(fileTime - kTicksTo1970);
    seconds = ticks / 10000000;
    long long rest = ticks % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    nanoseconds = static_cast<int>(rest * 100);
}

} // namespace pelidor::platform::win32
