// The user's environment and well-known folders on Windows: environment values read as
// UTF-16, folders from the shell's known folders (SHGetKnownFolderPath).
#include "platform/Environment.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include "platform/win32/WinText.h"

namespace pelidor::platform {
namespace {

std::string knownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::string out;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path != nullptr)
        out = win32::toUtf8(path);
    CoTaskMemFree(path);
    while (out.size() > 3 && out.back() == '\\')
        out.pop_back();
    return out;
}

std::string withBackslash(std::string path) {
    if (!path.empty() && path.back() != '\\')
        path.push_back('\\');
    return path;
}

} // namespace

std::string getEnv(const char* name) {
    const std::wstring wide = win32::toWide(name);
    const DWORD need = GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
    if (need == 0)
        return {};
    std::wstring value(need, L'\0');
    const DWORD got = GetEnvironmentVariableW(wide.c_str(), value.data(), need);
    if (got == 0 || got >= need)
        return {};
    value.resize(got);
    return win32::toUtf8(value);
}

std::string homeDir() {
    std::string home = knownFolder(FOLDERID_Profile);
    return home.empty() ? getEnv("USERPROFILE") : home;
}

std::string configHome() {
    return knownFolder(FOLDERID_RoamingAppData);
}
std::string dataHome() {
    return knownFolder(FOLDERID_LocalAppData);
}
std::string cacheHome() {
    return knownFolder(FOLDERID_InternetCache);
}

std::string userDir(const std::string& key) {
    static const struct {
        const char* key;
        const KNOWNFOLDERID* id;
    } folders[] = {{"DESKTOP", &FOLDERID_Desktop},    {"DOCUMENTS", &FOLDERID_Documents},
                   {"MUSIC", &FOLDERID_Music},        {"VIDEOS", &FOLDERID_Videos},
                   {"PICTURES", &FOLDERID_Pictures},  {"TEMPLATES", &FOLDERID_Templates},
                   {"DOWNLOAD", &FOLDERID_Downloads}, {"PUBLICSHARE", &FOLDERID_Public}};
    for (const auto& f : folders)
        if (key == f.key)
            return knownFolder(*f.id);
    return homeDir();
}

std::string specialFolder(int csidl) {
    // The shell's own answer for each folder number, through the known folder that
    // stands for it.
    static const struct {
        int csidl;
        const KNOWNFOLDERID* id;
    } folders[] = {
        {0, &FOLDERID_Desktop},
        {2, &FOLDERID_Programs},
        {5, &FOLDERID_Documents},
        {6, &FOLDERID_Favorites},
        {7, &FOLDERID_Startup},
        {8, &FOLDERID_Recent},
        {9, &FOLDERID_SendTo},
        {11, &FOLDERID_StartMenu},
        {12, &FOLDERID_Documents},
        {13, &FOLDERID_Music},
        {14, &FOLDERID_Videos},
        {16, &FOLDERID_Desktop},
        {19, &FOLDERID_NetHood},
        {20, &FOLDERID_Fonts},
        {21, &FOLDERID_Templates},
        {22, &FOLDERID_CommonStartMenu},
        {23, &FOLDERID_CommonPrograms},
        {24, &FOLDERID_CommonStartup},
        {25, &FOLDERID_PublicDesktop},
        {26, &FOLDERID_RoamingAppData},
        {27, &FOLDERID_PrintHood},
        {28, &FOLDERID_LocalAppData},
        {31, &FOLDERID_Favorites},
        {32, &FOLDERID_InternetCache},
        {33, &FOLDERID_Cookies},
        {34, &FOLDERID_History},
        {35, &FOLDERID_ProgramData},
        {36, &FOLDERID_Windows},
        {37, &FOLDERID_System},
        {38, &FOLDERID_ProgramFiles},
        {39, &FOLDERID_Pictures},
        {40, &FOLDERID_Profile},
        {41, &FOLDERID_SystemX86},
        {42, &FOLDERID_ProgramFilesX86},
        {43, &FOLDERID_ProgramFilesCommon},
        {44, &FOLDERID_ProgramFilesCommonX86},
        {45, &FOLDERID_CommonTemplates},
        {46, &FOLDERID_PublicDocuments},
        {47, &FOLDERID_CommonAdminTools},
        {48, &FOLDERID_AdminTools},
        {53, &FOLDERID_PublicMusic},
        {54, &FOLDERID_PublicPictures},
        {55, &FOLDERID_PublicVideos},
        {56, &FOLDERID_ResourceDir},
        {59, &FOLDERID_CDBurning},
    };
    for (const auto& f : folders)
        if (f.csidl == csidl)
            return knownFolder(*f.id);
    return {};
}

SystemFolders systemFolders() {
    wchar_t windows[MAX_PATH + 1] = {};
    const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    SystemFolders out;
    out.windowsDir = n > 0 && n < MAX_PATH ? withBackslash(win32::toUtf8(windows)) : std::string();
    // This program is 64-bit: the folder of 32-bit programs is the one the shell reports
    // to a 32-bit program, and ProgramW6432 names the 64-bit one.
    out.programFilesDir = withBackslash(knownFolder(FOLDERID_ProgramFilesX86));
    out.programW6432Dir = withBackslash(getEnv("ProgramW6432"));
    out.commonAppDataDir = knownFolder(FOLDERID_ProgramData);
    return out;
}

std::string homeTrashDir() {
    // The Recycle Bin is a folder "$RECYCLE.BIN" at the top of every drive.
    return {};
}

std::string userIdText() {
    wchar_t name[257] = {};
    DWORD size = 257;
    return GetUserNameW(name, &size) ? win32::toUtf8(name) : std::string();
}

} // namespace pelidor::platform
