// Plain routines that the program's windows share: the system version, file
// existence, locks and deletion, file sizes and versions, and registry reads.
// None of them shows a message; each reports failure through its result. Paths are
// byte strings as the file system stores them (UTF-8 for names the user typed).
//
// This part has no Qt in it, so the settings store can use it too; the routines
// that need Qt (sizes as text, fonts, the folder picker, opening addresses) are in
// SharedHelpersGui.h.
#pragma once

#include <cstdint>
#include <string>

namespace pelidor {

// ---- System version -------------------------------------------------------------

// The extended version record. Here it describes the kernel: "6.1.0-18-amd64" gives
// 6, 1 and 0; the service-pack text holds the kernel's build description.
struct TOSVersionInfoEx {
    uint32_t OSVersionInfoSize = 0;
    uint32_t MajorVersion = 0;
    uint32_t MinorVersion = 0;
    uint32_t BuildNumber = 0;
    uint32_t PlatformId = 0;
    std::string CSDVersion;
};

// The platform id reported for this system: a multi-user system with separate
// administrator rights, as the NT family of Windows.
inline constexpr uint32_t kPlatformMultiUser = 2;

// The program's copy of the system version, replaced by UpdateWindowsVersion.
struct TWindowsVersion {
    uint32_t Platform = kPlatformMultiUser;
    uint32_t MajorVersion = 0;
    uint32_t MinorVersion = 0;
    uint32_t BuildNumber = 0;
    std::string CSDVersion; // at most 128 characters
};

// Fills Info with the running system's true version; false when it cannot be read.
bool GetTrueVersionInfo(TOSVersionInfoEx& Info);
// Copies the true version into the program's values. Run once at start-up.
void UpdateWindowsVersion();
// The program's version values (those of the last UpdateWindowsVersion).
const TWindowsVersion& WindowsVersion();
// "major.minor.build" in decimal, e.g. "6.1.0"; empty text when unknown.
std::string GetWindowsVersionText();

// True for a 32-bit program on a 64-bit system. A native program: always false.
bool IsWin64();
// The answer of IsWin64, taken once at start-up.
bool Win64System();
// Win64System on the system versions 6.0 and 5.2. Always false here.
bool IsOldWin64();

// Switch the file-system redirection of 32-bit programs off and back on. Nothing
// is redirected for a native program: both do nothing and return false.
bool DisableFsRedirection();
bool RevertFsRedirection();

// Runs the start-up part of this unit (the version values and Win64System).
void InitSharedHelpers();

// ---- Files ------------------------------------------------------------------------

// True when Path exists; a path whose name has no extension is also found with
// ".exe", ".com", ".bat", ".cmd" or ".dll" appended, in this order.
bool FileExistsEx(const std::string& Path);

// True when a regular file exists at Path and cannot be opened for reading and
// writing or locked exclusively right now (another program holds a lock on it, it
// is read-only, or the user may not write it).
bool IsFileLocked(const std::string& Path);

// Deletes a file or folder: into the user's trash when ToRecycleBin is true, else
// for good (a folder with everything in it). False when nothing exists at Path,
// when the file is locked (it stays untouched) or when the deletion fails.
bool ShellDeleteFile(const std::string& Path, bool ToRecycleBin);

// Deletes a file for good, read-only or not. True when it was deleted or nothing
// existed at Path. A symbolic link is deleted itself, never its target. On failure
// errno (and `error` when given) holds the system's reason.
bool ForceDeleteFile(const std::string& Path, int* error = nullptr);
// The same deletion, used when restoring a backup.
bool NtForceDeleteFile(const std::string& Path, int* error = nullptr);

// The size in bytes of the file at Path (relative paths from the current folder,
// a final link followed); 0 when nothing is there and for folders.
int64_t GetFileSizeByName(const std::string& Path);

// The fixed part of a file's version resource.
struct TVSFixedFileInfo {
    uint32_t dwSignature = 0;
    uint32_t dwStrucVersion = 0;
    uint32_t dwFileVersionMS = 0; // major << 16 | minor
    uint32_t dwFileVersionLS = 0; // release << 16 | build
    uint32_t dwProductVersionMS = 0;
    uint32_t dwProductVersionLS = 0;
    uint32_t dwFileFlagsMask = 0;
    uint32_t dwFileFlags = 0;
    uint32_t dwFileOS = 0;
    uint32_t dwFileType = 0;
    uint32_t dwFileSubtype = 0;
};

// The program's own version as a version record (from the build).
TVSFixedFileInfo ProgramVersionInfo();
// Fills Info with the version of the file at Path. Only the program's own
// executable carries a version; for every other file Info is left as it was.
void GetFixedFileVersion(const std::string& Path, TVSFixedFileInfo& Info);

// ---- Registry -----------------------------------------------------------------------

enum class TRegRoot { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

// "HKEY_CURRENT_USER" and so on.
const char* RegRootName(TRegRoot Root);

inline constexpr uint32_t KEY_READ_ACCESS = 0x20019;
inline constexpr uint32_t KEY_ALL_ACCESS_RIGHTS = 0xF003F;
inline constexpr uint32_t KEY_WOW64_64KEY_VIEW = 0x0100;
inline constexpr uint32_t KEY_WOW64_32KEY_VIEW = 0x0200;

// The access rights to open Key with: read or full access, plus the registry view
// a 32-bit program on a 64-bit system needs when UseView is set.
uint32_t RegistryAccessFlags(const std::string& Key, bool ReadOnly, bool UseView);

// The 32-bit integer value Name of Key under Root; Default when the key or the
// value is missing or the value is not stored as an integer (text, for example).
int32_t ReadRegInteger(TRegRoot Root, const std::string& Key, const std::string& Name, bool UseView,
                       int32_t Default);

} // namespace pelidor
