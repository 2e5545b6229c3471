// The Recycle Bin on Windows: the shell moves the item (SHFileOperationW with undo).
#include "platform/Trash.h"

#include <cerrno>
#include <windows.h>

#include <shellapi.h>

#include "platform/win32/WinText.h"

namespace pelidor::platform {

bool moveToTrash(const std::string& path, TrashedItem* item, int* error) {
    std::wstring full = win32::longPathW(win32::toWide(path));
    // The shell takes the ordinary path form, ended by two NUL characters.
    if (full.rfind(L"\\\\?\\UNC\\", 0) == 0)
        full = L"\\\\" + full.substr(8);
    else if (full.rfind(L"\\\\?\\", 0) == 0)
        full = full.substr(4);
    if (full.empty() || GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (error != nullptr)
            *error = ENOENT;
        return false;
    }
    full.push_back(L'\0');
    full.push_back(L'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = full.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    const int rc = SHFileOperationW(&op);
    if (rc != 0 || op.fAnyOperationsAborted) {
        if (error != nullptr)
            *error = EIO;
        return false;
    }
    if (item != nullptr)
        *item = TrashedItem{}; // the shell does not tell where the item went
    return true;
}

std::string trashInfoEscape(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '/' || c == '-' || c == '_' || c == '.' ||
                          c == '!' || c == '~' || c == '*' || c == '\'' || c == '(' || c == ')';
        if (keep) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

} // namespace pelidor::platform
