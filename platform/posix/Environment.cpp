#include "platform/Environment.h"

#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <unistd.h>

namespace pelidor::platform {
namespace {

std::string trimmedSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string xdgBase(const char* variable, const char* fallback) {
    std::string value = getEnv(variable);
    // XDG base directory rules: relative values are ignored.
    if (!value.empty() && value[0] == '/')
        return trimmedSlash(value);
    const std::string home = homeDir();
    return home.empty() ? std::string() : trimmedSlash(home) + fallback;
}

} // namespace

std::string getEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string homeDir() {
    std::string home = getEnv("HOME");
    if (!home.empty())
        return trimmedSlash(home);
    struct passwd pw {};
    struct passwd* result = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &pw, buffer, sizeof buffer, &result) == 0 && result != nullptr &&
        result->pw_dir != nullptr)
        return trimmedSlash(result->pw_dir);
    return {};
}

std::string configHome() {
    return xdgBase("XDG_CONFIG_HOME", "/.config");
}
std::string dataHome() {
    return xdgBase("XDG_DATA_HOME", "/.local/share");
}
std::string cacheHome() {
    return xdgBase("XDG_CACHE_HOME", "/.cache");
}

std::string userDir(const std::string& key) {
    const std::string home = homeDir();
    const std::string wanted = "XDG_" + key + "_DIR";
    std::ifstream in(configHome() + "/user-dirs.dirs");
    std::string line;
    while (in && std::getline(in, line)) {
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        const auto eq = line.find('=', start);
        if (eq == std::string::npos || line.substr(start, eq - start) != wanted)
            continue;
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        if (!value.empty() && value[0] == '/')
            return trimmedSlash(value);
    }
    if (home.empty())
        return {};
    static const struct {
        const char* key;
        const char* name;
    } fallbacks[] = {{"DESKTOP", "Desktop"},    {"DOCUMENTS", "Documents"},
                     {"MUSIC", "Music"},        {"VIDEOS", "Videos"},
                     {"PICTURES", "Pictures"},  {"TEMPLATES", "Templates"},
                     {"DOWNLOAD", "Downloads"}, {"PUBLICSHARE", "Public"}};
    for (const auto& f : fallbacks)
        if (key == f.key)
            return home + "/" + f.name;
    return home;
}

std::string specialFolder(int csidl) {
    switch (csidl) {
    case 0:  // DESKTOP
    case 16: // DESKTOPDIRECTORY
        return userDir("DESKTOP");
    case 5:  // PERSONAL
    case 12: // MYDOCUMENTS
        return userDir("DOCUMENTS");
    case 13:
        return userDir("MUSIC");
    case 14:
        return userDir("VIDEOS");
    case 39:
        return userDir("PICTURES");
    case 21:
        return userDir("TEMPLATES");
    case 26: // APPDATA
        return configHome();
    case 28: // LOCAL_APPDATA
        return dataHome();
    case 32: // INTERNET_CACHE
        return cacheHome();
    case 40: // PROFILE
        return homeDir();
    case 20: { // FONTS
        const std::string data = dataHome();
        return data.empty() ? std::string() : data + "/fonts";
    }
    case 35: // COMMON_APPDATA
        return "/var/lib";
    case 38: // PROGRAM_FILES
        return "/opt";
    default:
        return {};
    }
}

SystemFolders systemFolders() {
    return {"/usr/", "/opt/", "/etc/", "/var/lib"};
}

std::string homeTrashDir() {
    const std::string data = dataHome();
    return data.empty() ? std::string() : data + "/Trash";
}

std::string userIdText() {
    return std::to_string(::getuid());
}

} // namespace pelidor::platform
