// Facts about the running Windows system and process.
#include "platform/System.h"

#include <windows.h>

#include "platform/Environment.h"
#include "platform/win32/WinText.h"

namespace pelidor::platform {

bool osVersion(OsVersion& out) {
    // GetVersionEx reports what the manifest allows; ntdll's RtlGetVersion the truth.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr)
        return false;
    const auto fn = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (fn == nullptr || fn(&info) != 0)
        return false;
    out.major = info.dwMajorVersion;
    out.minor = info.dwMinorVersion;
    out.build = info.dwBuildNumber;
    out.release = std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) +
                  "." + std::to_string(info.dwBuildNumber);
    out.version = win32::toUtf8(info.szCSDVersion);
    out.sysname = "Windows";
    return true;
}

bool effectiveUserIsRoot() {
    // Administrator rights: the process token is elevated.
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool elevated =
        GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
        elevation.TokenIsElevated != 0;
    CloseHandle(token);
    return elevated;
}

std::string executablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return win32::toUtf8(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string privateRuntimeDir() {
    // The user's local application data is private to the user.
    const std::string base = dataHome();
    if (base.empty())
        return {};
    const std::string folder = base + "\\Pelidor\\Runtime";
    const std::wstring full = win32::longPath(folder);
    CreateDirectoryW(win32::longPath(base + "\\Pelidor").c_str(), nullptr);
    CreateDirectoryW(full.c_str(), nullptr);
    const DWORD a = GetFileAttributesW(full.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) ? folder : std::string();
}

} // namespace pelidor::platform
