#include "shell/SharedHelpers.h"

#include "platform/FileOps.h"
#include "platform/FsPath.h"
#include "platform/Registry.h"
#include "platform/System.h"
#include "platform/Trash.h"

#include <cerrno>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace pelidor {
namespace {

TVSFixedFileInfo makeProgramVersion() {
    TVSFixedFileInfo info;
    info.dwSignature = 0xFEEF04BD;
    info.dwStrucVersion = 0x00010000;
    info.dwFileVersionMS = (uint32_t{PELIDOR_VERSION_MAJOR} << 16) | PELIDOR_VERSION_MINOR;
    info.dwFileVersionLS = (uint32_t{PELIDOR_VERSION_RELEASE} << 16) | PELIDOR_VERSION_BUILD;
    info.dwProductVersionMS = info.dwFileVersionMS;
    info.dwProductVersionLS = info.dwFileVersionLS;
    info.dwFileFlagsMask = 0x3F;
    info.dwFileFlags = 0;
    info.dwFileOS = 0;   // no Windows system
    info.dwFileType = 1; // an application
    info.dwFileSubtype = 0;
    return info;
}

TWindowsVersion versionFromSystem() {
    TWindowsVersion version;
    TOSVersionInfoEx info;
    if (!GetTrueVersionInfo(info))
        return version;
    version.Platform = info.PlatformId;
    version.MajorVersion = info.MajorVersion;
    version.MinorVersion = info.MinorVersion;
    version.BuildNumber = info.PlatformId == 1 ? (info.BuildNumber & 0xFFFF) : info.BuildNumber;
    version.CSDVersion = info.CSDVersion.substr(0, 128);
    return version;
}

TWindowsVersion& versionStore() {
    static TWindowsVersion version = versionFromSystem();
    return version;
}

bool hasExtension(const std::string& path) {
#if defined(_WIN32)
    const auto slash = path.find_last_of("\\/");
#else
    const auto slash = path.rfind('/');
#endif
    const auto dot = path.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

// One existence test: the plain test, then, for a 32-bit program on a 64-bit system,
// the test with redirection switched off.
bool existsOnce(const std::string& path) {
    if (platform::pathExists(path))
        return true;
    if (!Win64System())
        return false;
    DisableFsRedirection();
    const bool found = platform::pathExists(path);
    RevertFsRedirection();
    return found;
}

bool failWith(int code, int* error) {
    if (error != nullptr)
        *error = code;
    errno = code;
    return false;
}

} // namespace

// ---- System version -------------------------------------------------------------

bool GetTrueVersionInfo(TOSVersionInfoEx& Info) {
    platform::OsVersion os;
    if (!platform::osVersion(os))
        return false;
    Info = TOSVersionInfoEx{};
    Info.OSVersionInfoSize = 284;
    Info.MajorVersion = os.major;
    Info.MinorVersion = os.minor;
    Info.BuildNumber = os.build;
    Info.PlatformId = kPlatformMultiUser;
    Info.CSDVersion = os.version;
    return true;
}

void UpdateWindowsVersion() {
    TOSVersionInfoEx info;
    if (GetTrueVersionInfo(info))
        versionStore() = versionFromSystem();
}

const TWindowsVersion& WindowsVersion() {
    return versionStore();
}

std::string GetWindowsVersionText() {
    TOSVersionInfoEx info;
    if (!GetTrueVersionInfo(info))
        return {};
    return std::to_string(info.MajorVersion) + "." + std::to_string(info.MinorVersion) + "." +
           std::to_string(info.BuildNumber);
}

bool IsWin64() {
    return false;
}

bool Win64System() {
    static const bool win64 = IsWin64();
    return win64;
}

bool IsOldWin64() {
    const auto& v = WindowsVersion();
    return Win64System() && ((v.MajorVersion == 6 && v.MinorVersion == 0) ||
                             (v.MajorVersion == 5 && v.MinorVersion == 2));
}

bool DisableFsRedirection() {
    return false;
}

bool RevertFsRedirection() {
    return false;
}

void InitSharedHelpers() {
    UpdateWindowsVersion();
    (void)Win64System();
}

// ---- Files ------------------------------------------------------------------------

bool FileExistsEx(const std::string& Path) {
    if (Path.empty())
        return false;
    if (existsOnce(Path))
        return true;
    if (hasExtension(Path))
        return false;
    for (const char* ext : {".exe", ".com", ".bat", ".cmd", ".dll"})
        if (existsOnce(Path + ext))
            return true;
    return false;
}

bool IsFileLocked(const std::string& Path) {
    return platform::isFileLocked(Path);
}

bool ShellDeleteFile(const std::string& Path, bool ToRecycleBin) {
    if (!platform::pathExists(Path))
        return false;
    platform::addOwnerWrite(Path);
    if (IsFileLocked(Path))
        return false;
    if (ToRecycleBin)
        return platform::moveToTrash(Path);
    return platform::removeTree(Path);
}

// Only a file that is not there (no entry, or a file where a folder on the way
// should be) counts as deleted already: a path that cannot be
// examined (a folder on the way that may not be searched, say) is a failure.
bool ForceDeleteFile(const std::string& Path, int* error) {
    platform::addOwnerWrite(Path);
    int code = 0;
    if (platform::removeFile(Path, &code) || code == ENOENT || code == ENOTDIR)
        return true;
    return failWith(code, error);
}

bool NtForceDeleteFile(const std::string& Path, int* error) {
    platform::addOwnerWrite(Path);
    int code = 0;
    if (platform::removeFile(Path, &code) || code == ENOENT || code == ENOTDIR)
        return true;
    if (code == EISDIR) {
        // The native deletion also takes an empty folder.
        std::error_code ec;
        if (std::filesystem::remove(platform::toFsPath(Path), ec))
            return true;
        code = ec ? ec.value() : ENOTEMPTY;
    }
    return failWith(code, error);
}

int64_t GetFileSizeByName(const std::string& Path) {
    int64_t size = 0;
    return platform::fileSize(Path, size) ? size : 0;
}

TVSFixedFileInfo ProgramVersionInfo() {
    static const TVSFixedFileInfo info = makeProgramVersion();
    return info;
}

void GetFixedFileVersion(const std::string& Path, TVSFixedFileInfo& Info) {
    const std::string self = platform::executablePath();
    if (!self.empty() && platform::sameFile(Path, self))
        Info = ProgramVersionInfo();
}

// ---- Registry -----------------------------------------------------------------------

const char* RegRootName(TRegRoot Root) {
    switch (Root) {
    case TRegRoot::ClassesRoot:
        return "HKEY_CLASSES_ROOT";
    case TRegRoot::CurrentUser:
        return "HKEY_CURRENT_USER";
    case TRegRoot::LocalMachine:
        return "HKEY_LOCAL_MACHINE";
    case TRegRoot::Users:
        return "HKEY_USERS";
    case TRegRoot::CurrentConfig:
        return "HKEY_CURRENT_CONFIG";
    }
    return "HKEY_CURRENT_USER";
}

uint32_t RegistryAccessFlags(const std::string& Key, bool ReadOnly, bool UseView) {
    uint32_t flags = ReadOnly ? KEY_READ_ACCESS : KEY_ALL_ACCESS_RIGHTS;
    if (Win64System() && UseView) {
        std::string lower = Key;
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        if (lower.find("wow6432node") != std::string::npos && IsOldWin64())
            flags |= KEY_WOW64_32KEY_VIEW;
        else
            flags |= KEY_WOW64_64KEY_VIEW;
    }
    return flags;
}

int32_t ReadRegInteger(TRegRoot Root, const std::string& Key, const std::string& Name, bool UseView,
                       int32_t Default) {
    // The registry stand-in has a single view; the rights only matter on Windows.
    (void)RegistryAccessFlags(Key, true, UseView);
    std::string_view sub = Key;
    while (!sub.empty() && sub.front() == '\\')
        sub.remove_prefix(1);
    std::string path = RegRootName(Root);
    if (!sub.empty())
        path += "\\" + std::string(sub);
    const auto value = platform::regReadDword(path, Name);
    return value ? static_cast<int32_t>(*value) : Default;
}

} // namespace pelidor
